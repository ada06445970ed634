// SPDX-License-Identifier: GPL-3.0-or-later
// Settings rows for the usual controls of an instrument tab: a number edit, a combo box.
#include "ui/common/InstrumentRows.h"

#include "files/SettingsFile.h"

#include <QComboBox>
#include <QLineEdit>

#include <algorithm>

TSettingsRow EditRow(const std::string& key, QLineEdit* edit, std::function<void()> apply,
                     std::string probe) {
    return {key, srMain, [edit] { return edit->text().toStdString(); },
            [key, edit, apply](TSettingsReader& reader) {
                const auto text = reader.FindText(key);
                if (!text)
                    return;
                edit->setText(QString::fromStdString(*text).trimmed());
                apply();
            },
            [probe = std::move(probe)] { return probe; }};
}

TSettingsRow ComboRow(const std::string& key, QComboBox* combo) {
    return {key, srMain, [combo] { return std::to_string(combo->currentIndex()); },
            [key, combo](TSettingsReader& reader) {
                std::int32_t index = 0;
                if (reader.FindInt(key, index) == TLookup::Found && index >= 0 &&
                    index < combo->count())
                    combo->setCurrentIndex(index);
            },
            [combo] {
                return std::to_string((combo->currentIndex() + 1) % std::max(1, combo->count()));
            }};
}
