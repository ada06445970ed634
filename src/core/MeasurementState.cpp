// SPDX-License-Identifier: GPL-3.0-or-later
// Resets of the shared measurement record at the start of a sampling run.
#include "core/MeasurementState.h"

void ResetForStart(MeasurementState& state) {
    state.PeakLogIndex = 0;
    state.PeakLogWrapped = false;
    state.Scope.ScopeRedraw = true;
    RestartSweep(state.Scope);
    ResetPhase(state.Generator);
    state.StreamErrors.Clear();
    ++state.RunNumber;
    state.InvalidBlocks = 0;
}
