// SPDX-License-Identifier: GPL-3.0-or-later
// The instrument tabs of the window (distortion, response, ...): the one list of them.
#pragma once

#include "ui/common/InstrumentTab.h"

#include <functional>
#include <memory>
#include <vector>

using TInstrumentTabs = std::vector<std::unique_ptr<TInstrumentTab>>;
// Builds the instrument tabs on pages the host gives them.
using TInstrumentFactory = std::function<TInstrumentTabs(TInstrumentHost&)>;

// The program's instrument tabs, in the order of their pages and settings keys.
TInstrumentTabs MakeInstrumentTabs(TInstrumentHost& host);
