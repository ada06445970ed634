// SPDX-License-Identifier: GPL-3.0-or-later
// Tooltips and status-bar tips of the window's controls and menu entries, found by name.
#pragma once

class QObject;

// Gives every control and menu entry under `root` that the tip table names its tooltip and
// status tip (widgets) or status tip and tooltip (actions). A name ending in a digit falls back
// to its row with "#" in place of the digit, the digit then taking the place of "%1" in the text
// ("MC3" takes the row "MC#": "Show marker 3 ...").
void ApplyControlTips(QObject* root);

// The tip of a control or menu entry called `name`; empty when the table has none.
const char* ControlTip(const char* name);
