#include "Commonfunc.h"
