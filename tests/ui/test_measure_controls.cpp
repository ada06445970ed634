// Measurement controls of the window: menus, smoothing, meters, calibration, sine output.
#include "WindowRig.h"

using namespace uitest;
