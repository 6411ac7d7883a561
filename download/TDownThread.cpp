#include "TDownThread.h"
