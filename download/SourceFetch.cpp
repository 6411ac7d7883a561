#include "SourceFetch.h"
