// SPDX-License-Identifier: GPL-3.0-or-later
// Settings rows for the usual controls of an instrument tab: a number edit, a combo box.
#pragma once

#include "ui/settings/SettingsBinding.h"

#include <functional>
#include <string>

class QComboBox;
class QLineEdit;

// Key holding the edit's text. Applying puts the file's value (as written, a real) into the edit
// and runs `apply` as leaving the edit does; a value the handler refuses leaves the setting in
// force (the handler puts it back). `probe` is a valid value that differs from the default.
TSettingsRow EditRow(const std::string& key, QLineEdit* edit, std::function<void()> apply,
                     std::string probe);
// Key holding the combo's item index. Applying selects a valid index (its change handler runs
// through the combo's signal); other values are ignored. The probe is the next item.
TSettingsRow ComboRow(const std::string& key, QComboBox* combo);
