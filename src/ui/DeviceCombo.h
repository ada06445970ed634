// SPDX-License-Identifier: GPL-3.0-or-later
// A device list box that can bring its entries up to date just before it opens.
#pragma once

#include <QComboBox>

#include <functional>

// A QComboBox (found as one by name) that runs `BeforePopup` each time its list is about to
// open, so that the entries shown are the devices there are now. Main thread.
class TDeviceCombo final : public QComboBox {
public:
    using QComboBox::QComboBox;

    std::function<void()> BeforePopup;

    void showPopup() override {
        if (BeforePopup)
            BeforePopup();
        QComboBox::showPopup();
    }
};
