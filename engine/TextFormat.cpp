#include "TextFormat.h"
