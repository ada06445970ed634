// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: reads arbitrary bytes as a one-port Touchstone file, checks what the reader
// promises, and reads back what the memory-file writer makes of the records.
#include "files/Touchstone.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    std::string_view rest = text.substr(0, 4096);
    for (int i = 0; i < 64 && !rest.empty(); ++i) {
        const std::size_t before = rest.size();
        const std::string token = NextToken(rest);
        Require(rest.size() < before || token.empty());
    }
    const std::string normal = NormaliseLine(text.substr(0, 4096));
    Require(normal.size() <= std::min<std::size_t>(size, 4096));

    const TTouchstoneRead read = ReadTouchstoneText(text, "fuzz.s1p");
    Require(read.Exists);
    Require(read.Records.size() <= MaxTouchstonePoints);
    Require(read.Counted >= read.Records.size());
    Require(read.Apply == !read.Records.empty());
    if (!read.Apply)
        Require(!read.Messages.empty()); // the user hears why the memory stayed
    for (const TTraceRecord& record : read.Records)
        Require(std::isfinite(record.Frequency) && std::isfinite(record.Magnitude));

    if (read.Apply) {
        // Every file the program writes reads back without a message and with the same count.
        const TTouchstoneRead again = ReadTouchstoneText(MemoryFileText(read.Records), "again");
        Require(again.Apply && again.Messages.empty());
        Require(again.Records.size() == read.Records.size());
    }
    return 0;
}
