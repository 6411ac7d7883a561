#include "Unitclasstask.h"
