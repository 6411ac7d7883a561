#include "TileHttpClient.h"
