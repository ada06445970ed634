// SPDX-License-Identifier: GPL-3.0-or-later
// The engines the program streams with: ALSA sound cards and the low-latency engine (JACK).
#pragma once

#include "audio/MainThreadDispatcher.h"
#include "audio/PcmDeviceList.h"
#include "audio/Quibex_Strm.h"

#include <memory>
#include <vector>

// A factory over one device snapshot; `dispatcher` must outlive every engine it makes.
TEngineFactory MakeEngineFactory(std::shared_ptr<const std::vector<TPcmDevice>> devices,
                                 IMainThreadDispatcher* dispatcher);
