// The custom label and trace in the window.
#include "WindowRig.h"

using namespace uitest;
