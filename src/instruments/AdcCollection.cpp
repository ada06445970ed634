// SPDX-License-Identifier: GPL-3.0-or-later
// Samples of the external four-channel ADC collected during a run, and their text file.
#include "instruments/AdcCollection.h"

#include "files/AtomicFile.h"
#include "files/TextNumbers.h"

#include <unistd.h>

#include <charconv>
#include <cmath>
#include <new>

std::uint64_t PhysicalMemoryBytes() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0)
        return 0;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

void TAdcCollection::Begin(double seconds, double rateHz, int blockSamples,
                           std::uint64_t memoryBytes) {
    if (blockSamples <= 0 || !std::isfinite(seconds) || !std::isfinite(rateHz))
        throw EAdcCollectionError("The Save Time Interval is not a number of seconds.");
    const double samples = std::nearbyint(seconds * rateHz);
    const double blocks = std::max(std::floor(samples / blockSamples), 1.0);
    const double bytes = blocks * blockSamples * static_cast<double>(kCollectionBytesPerSample);
    const auto refuse = [&] {
        throw EAdcCollectionError(
            "Collecting " + FormatReal(seconds) + " s of samples would need " +
            FormatReal(std::ceil(bytes / 1048576.0)) +
            " MiB, more than this computer can spare. Shorten the Save Time Interval.");
    };
    if (!(bytes <= static_cast<double>(memoryBytes) / 2.0))
        refuse();
    Clear();
    try {
        for (auto& adc : samples_)
            adc.reserve(static_cast<std::size_t>(blocks) * static_cast<std::size_t>(blockSamples));
    } catch (const std::bad_alloc&) {
        Clear();
        refuse();
    } catch (const std::length_error&) {
        Clear();
        refuse();
    }
    blockSamples_ = blockSamples;
    limit_ = static_cast<std::int64_t>(blocks);
}

void TAdcCollection::Disable() {
    Clear();
    limit_ = 0;
}

void TAdcCollection::Add(std::span<const std::int32_t> block) {
    const auto b = static_cast<std::size_t>(blockSamples_);
    if (blocks_ >= limit_ || b == 0 || block.size() < 4 * b)
        return;
    for (std::size_t adc = 0; adc < 4; ++adc) {
        const auto first = block.begin() + static_cast<std::ptrdiff_t>(adc * b);
        samples_[adc].insert(samples_[adc].end(), first, first + static_cast<std::ptrdiff_t>(b));
    }
    ++blocks_;
}

std::string TAdcCollection::FileText(double rateHz) const {
    std::string text;
    const std::size_t count = samples_[0].size();
    text.reserve(count * 48);
    char number[16];
    for (std::size_t j = 0; j < count; ++j) {
        text += FormatReal(static_cast<double>(j) / rateHz);
        for (const auto& adc : samples_) {
            text += ' ';
            const auto result = std::to_chars(number, number + sizeof number, adc[j]);
            text.append(number, result.ptr);
        }
        text += '\n';
    }
    return text;
}

void TAdcCollection::WriteFile(const std::string& path, double rateHz) {
    std::string text = FileText(rateHz);
    Clear();
    WriteFileAtomically(path, text);
}

void TAdcCollection::Clear() {
    for (auto& adc : samples_) {
        adc.clear();
        adc.shrink_to_fit();
    }
    blocks_ = 0;
}
