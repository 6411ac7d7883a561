#include "Ftl.h"
