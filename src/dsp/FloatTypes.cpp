// FloatTypes holds only value types; this file gives the library a translation unit.
#include "dsp/FloatTypes.h"
