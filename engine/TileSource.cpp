#include "TileSource.h"
