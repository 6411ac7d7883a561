#include "MapServices.h"
#include "Unitclasstask.h"
