// SPDX-License-Identifier: GPL-3.0-or-later
// Messages raised while the window is being built, held until the window is up.
#include "core/StartupMessages.h"

#include <utility>

bool TStartupMessages::Hold(std::string caption, std::string text) {
    if (!Holding_)
        return false;
    Held_.push_back({std::move(caption), std::move(text)});
    return true;
}

std::vector<TStartupMessages::TMessage> TStartupMessages::Release() {
    Holding_ = false;
    return std::exchange(Held_, {});
}
