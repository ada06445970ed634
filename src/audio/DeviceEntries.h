// SPDX-License-Identifier: GPL-3.0-or-later
// Device-list entries "%.2d  %s": the device name inside an entry, and finding a device again in
// a list that was built anew.
#pragma once

#include <string>
#include <vector>

// The device's own name in an entry: the text after the number (two digits or more) and its two
// blanks ("04  csrcB" gives "csrcB"); an entry without that prefix is returned whole.
std::string DeviceNameOfEntry(const std::string& entry);

// The position in `entries` of the entry that names the same device as `entry`: an equal entry
// first, else the first entry with the same device name (the numbers of a rebuilt list move when
// devices before it come or go); -1 when none does or `entry` is empty.
int FindEntryOfDevice(const std::vector<std::string>& entries, const std::string& entry);
