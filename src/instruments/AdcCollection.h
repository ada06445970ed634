// SPDX-License-Identifier: GPL-3.0-or-later
// Samples of the external four-channel ADC collected during a run, and their text file.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

// A collection that cannot be made: the interval is not a number, or it would not fit in memory.
class EAdcCollectionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Bytes of memory one collected sample index costs: four 32-bit samples kept, and the file's
// line of up to about 72 characters built when the run ends.
constexpr std::uint64_t kCollectionBytesPerSample = 4 * 4 + 72;

// The physical memory of this computer in bytes (0 when it cannot be told).
std::uint64_t PhysicalMemoryBytes();

// Four growable sample arrays, one per ADC, filled block by block up to a limit. Owned by the
// main window; main thread only.
class TAdcCollection {
public:
    // Prepares a run: limit = max(round(seconds x fs) div B, 1) blocks, arrays emptied. Refuses
    // (EAdcCollectionError, nothing changed) a collection whose samples and file text would
    // need more than half of `memoryBytes`, or that cannot be reserved.
    void Begin(double seconds, double rateHz, int blockSamples, std::uint64_t memoryBytes);
    // A run without collection: limit 0, arrays emptied.
    void Disable();

    // Appends each ADC's B samples of `block` (4 x B, channel-major) while fewer than the limit
    // are collected.
    void Add(std::span<const std::int32_t> block);

    std::int64_t Blocks() const { return blocks_; }
    std::int64_t Limit() const { return limit_; }
    bool Empty() const { return samples_[0].empty(); }
    const std::vector<std::int32_t>& Samples(int adc) const {
        return samples_[static_cast<std::size_t>(adc)];
    }

    // One line per sample index j: j / fs as the shortest decimal text that reads back to the
    // same double ("." as the separator), then the four samples as integers, each after one
    // blank; lines end in "\n".
    std::string FileText(double rateHz) const;
    // Writes FileText through the atomic file writer, then empties the arrays (also when the
    // write fails, which throws EFileWriteError naming the file).
    void WriteFile(const std::string& path, double rateHz);
    void Clear();

private:
    std::array<std::vector<std::int32_t>, 4> samples_;
    std::int64_t blocks_ = 0;
    std::int64_t limit_ = 0;
    int blockSamples_ = 0;
};
