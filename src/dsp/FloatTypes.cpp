// SPDX-License-Identifier: GPL-3.0-or-later
// FloatTypes holds only value types; this file gives the library a translation unit.
#include "dsp/FloatTypes.h"
