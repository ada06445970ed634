// SPDX-License-Identifier: GPL-3.0-or-later
// The measurement rows of the window's set-up files, applied to the options of a run.
#pragma once

#include "measure/MeasureOptions.h"

#include <stdexcept>
#include <string>

class TSettingsReader;

// A set-up file named on the command line that cannot be read (exit code 3).
class ESetupError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Applies the rows of a set-up file that concern the measurement to `options`, in file order and
// as the window's reader applies them: sample rate (to the nearest item of the rate list),
// resolution, sample length, meter time constant, channel, display units, calibration (dBm
// field, reference level, reference voltage, calibrated flag), cut-on and cut-off (limited to
// the rate's range when the run starts, as the window's sliders limit them), window type (2 when
// the key is missing), display offset, meter digits, spectrum time constant mode and the six
// custom time constants, weighting. A missing key or a value outside the control's range leaves
// the option as it is. The reader's read position moves as the window's does, so the two
// "Averaging=" lines are told apart by their order; only the first (the meter time constant) is
// read here.
void ApplySetup(TSettingsReader& reader, TMeasureOptions& options);

// ApplySetup on the file at `path`; ESetupError "Cannot read set-up file <path>" when it does not
// exist or cannot be read, or holds none of the keys that ApplySetup reads.
void ApplySetupFile(const std::string& path, TMeasureOptions& options);
