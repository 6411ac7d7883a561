#include "SourceCatalogue.h"
