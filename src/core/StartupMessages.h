// SPDX-License-Identifier: GPL-3.0-or-later
// Messages raised while the window is being built, held until the window is up.
#pragma once

#include <string>
#include <vector>

// A queue of the messages that arise during start-up (settings and memory files, devices,
// libraries). A message box opened while the window is still being built would stop start-up
// (and an unattended run) until someone answers it; instead the window holds the messages and
// shows them once it is up, in the order they arose. Owned by the window; main thread only.
class TStartupMessages {
public:
    struct TMessage {
        std::string Caption; // empty: the window's title
        std::string Text;
        bool operator==(const TMessage&) const = default;
    };

    // True from construction until Release.
    bool Holding() const { return Holding_; }
    // Keeps the message while holding and returns true; returns false (nothing kept) once the
    // messages have been released, when the caller shows it at once.
    bool Hold(std::string caption, std::string text);
    // Ends the holding and hands over the messages held, oldest first (empty the second time).
    std::vector<TMessage> Release();

private:
    bool Holding_ = true;
    std::vector<TMessage> Held_;
};
