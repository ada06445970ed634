// MeasurementState is a plain record; this file gives the core library a translation unit.
#include "core/MeasurementState.h"
