// SPDX-License-Identifier: GPL-3.0-or-later
// The engine factory of the program.
#include "audio/EngineFactory.h"

#include "audio/MmeStrm.h"
#include "audio/WdmStrm.h"

TEngineFactory MakeEngineFactory(std::shared_ptr<const std::vector<TPcmDevice>> devices,
                                 IMainThreadDispatcher* dispatcher) {
    return [devices = std::move(devices),
            dispatcher](TAudioEngine kind) -> std::unique_ptr<TAudioStreamEngine> {
        if (kind == aeWDM)
            return std::make_unique<TWdmAudioStream>(dispatcher);
        return std::make_unique<TMmeAudioStream>(devices, dispatcher);
    };
}
