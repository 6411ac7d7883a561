#include "SourceImport.h"
