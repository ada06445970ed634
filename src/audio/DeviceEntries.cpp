// SPDX-License-Identifier: GPL-3.0-or-later
// Device-list entries: the device name inside an entry, and finding a device again.
#include "audio/DeviceEntries.h"

#include <algorithm>
#include <cctype>

std::string DeviceNameOfEntry(const std::string& entry) {
    std::size_t digits = 0;
    while (digits < entry.size() && std::isdigit(static_cast<unsigned char>(entry[digits])))
        ++digits;
    const bool numbered = digits >= 2 && entry.compare(digits, 2, "  ") == 0;
    return numbered ? entry.substr(digits + 2) : entry;
}

int FindEntryOfDevice(const std::vector<std::string>& entries, const std::string& entry) {
    if (entry.empty())
        return -1;
    if (const auto equal = std::find(entries.begin(), entries.end(), entry); equal != entries.end())
        return static_cast<int>(equal - entries.begin());
    const std::string name = DeviceNameOfEntry(entry);
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (DeviceNameOfEntry(entries[i]) == name)
            return static_cast<int>(i);
    return -1;
}
