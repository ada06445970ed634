// SPDX-License-Identifier: GPL-3.0-or-later
// Values in the settings files whose controls the window does not have yet.
#pragma once

#include <array>
#include <cstdint>
#include <string>

// Kept so that a file read and written again loses nothing before those controls arrive; the
// part that builds a control binds its row in the settings table to the control and drops the
// field here. Owned by TSettingsBinding; main thread only. Colours are 32-bit, low byte red.
struct THeldSettings {
    // None at present: every key of the table is bound to its control.
};
