// SPDX-License-Identifier: GPL-3.0-or-later
// The peak recorder's ring operations, chart mappings, grid and time steps, and trace file.
#include "instruments/PeakRecorder.h"

#include "files/AtomicFile.h"
#include "files/SettingsFile.h"
#include "files/TextNumbers.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <new>

namespace {

// Round to the nearest integer, ties to even (the current rounding mode is never changed).
double RoundEven(double x) {
    return std::nearbyint(x);
}

int RoundToPixel(double x) {
    // Far beyond any screen, well inside int: keeps a wild value from overflowing.
    constexpr double limit = 1 << 22;
    if (!(x == x))
        return 0;
    return static_cast<int>(RoundEven(std::clamp(x, -limit, limit)));
}

// The shortest fixed "." form that reads back to the same value: "1500.0312", "-20".
template <typename T> std::string ShortestFixed(T x) {
    if (!std::isfinite(x))
        return FormatReal(static_cast<double>(x));
    char buffer[400];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::fixed);
    return error == std::errc{} ? std::string(buffer, end) : FormatReal(static_cast<double>(x));
}

// Bytes the recorder may take: half of the physical memory (all of 2^62 when unknown).
unsigned long long MemoryBudget() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return 1ull << 62;
    return static_cast<unsigned long long>(pages) * static_cast<unsigned long long>(pageSize) / 2;
}

} // namespace

void ClearPeakLog(std::vector<TPeakLogEntry>& log, std::int32_t& index, bool& wrapped) {
    std::fill(log.begin(), log.end(), TPeakLogEntry{});
    index = 0;
    wrapped = false;
}

void ResizePeakLog(std::vector<TPeakLogEntry>& log, std::int32_t& index, bool& wrapped,
                   long long capacity) {
    const std::string refusal =
        "Not enough memory for " + std::to_string(capacity) + " data points.";
    if (capacity < 2)
        throw EPeakCapacityError("The number of data points must be at least 2.");
    if (capacity > std::numeric_limits<std::int32_t>::max() ||
        static_cast<unsigned long long>(capacity) > MemoryBudget() / sizeof(TPeakLogEntry))
        throw EPeakCapacityError(refusal);
    try {
        log.resize(static_cast<std::size_t>(capacity));
    } catch (const std::bad_alloc&) {
        throw EPeakCapacityError(refusal);
    } catch (const std::length_error&) {
        throw EPeakCapacityError(refusal);
    }
    if (index < 0 || index >= capacity) {
        index = 0;
        wrapped = true;
    }
}

std::vector<TPeakLogEntry> PeakPointsOldestFirst(const std::vector<TPeakLogEntry>& log,
                                                 std::int32_t index, bool wrapped) {
    const auto n = static_cast<std::int64_t>(log.size());
    const std::int64_t next = std::clamp<std::int64_t>(index, 0, n);
    std::vector<TPeakLogEntry> points;
    if (wrapped) {
        points.reserve(log.size());
        points.insert(points.end(), log.begin() + next, log.end());
    }
    points.insert(points.end(), log.begin(), log.begin() + next);
    return points;
}

int PeakTimeToX(double t, double span, int width) {
    return RoundToPixel((width - 1) * (1.0 - t / span));
}

int PeakValueToY(double v, double lower, double upper, int height) {
    if (!(upper > lower))
        return 0;
    return RoundToPixel((height - 1) * (1.0 - (v - lower) / (upper - lower)));
}

std::vector<double> PeakGridValues(double lower, double upper) {
    std::vector<double> values;
    const double d = upper - lower;
    if (!(d > 0.0) || !std::isfinite(d))
        return values;
    double step = std::pow(10.0, RoundEven(std::log10(d))) / 10.0;
    if (d / step > 10.0)
        step *= 2.0;
    if (d / step > 10.0)
        step *= 5.0;
    // A start far below lower (huge lower / step) would give billions of lines: at most a few
    // hundred are ever meaningful.
    for (double v = RoundEven(lower / step) * step; v <= upper && values.size() < 1000; v += step)
        values.push_back(v);
    return values;
}

TPeakTimeAxis PeakTimeAxis(long long capacity, double sampleLength, double sampleRate) {
    TPeakTimeAxis axis;
    axis.BlockTime = sampleRate > 0.0 ? sampleLength / sampleRate : 0.0;
    axis.Span = static_cast<double>(capacity) * axis.BlockTime;
    axis.ResolutionText =
        "time resolution = " + FormatReal(RoundEven(axis.BlockTime * 10000.0) / 10.0) + " ms";
    const double span = axis.Span;
    if (span > 0.0 && std::isfinite(span)) {
        double step = std::pow(10.0, RoundEven(std::log10(span)) - 1.0);
        if (span / step < 6.0)
            step /= 2.0;
        if (span / step > 15.0)
            step *= 2.0;
        const auto count = static_cast<long long>(RoundEven(span / step));
        for (long long k = 1; k <= count; ++k)
            axis.Ticks.push_back(static_cast<double>(k) * step);
    }
    return axis;
}

std::vector<TPeakPixel> PeakTracePixels(const std::vector<TPeakLogEntry>& log, std::int32_t index,
                                        bool wrapped, bool level, double lower, double upper,
                                        int width, int height) {
    std::vector<TPeakPixel> pixels;
    const auto n = static_cast<std::int64_t>(log.size());
    if (n < 2)
        return pixels;
    const std::int64_t recorded = std::clamp<std::int64_t>(index, 0, n);
    const std::int64_t count = wrapped ? n : recorded;
    pixels.reserve(static_cast<std::size_t>(count));
    const std::int64_t newest = recorded - 1;
    for (std::int64_t j = 0; j < count; ++j) {
        const std::int64_t slot = ((newest - j) % n + n) % n;
        const TPeakLogEntry& entry = log[static_cast<std::size_t>(slot)];
        const double x = static_cast<double>(n - 1 - j) * (width - 1) / static_cast<double>(n - 1);
        pixels.push_back({RoundToPixel(x), PeakValueToY(level ? entry.Level : entry.Frequency,
                                                        lower, upper, height)});
    }
    return pixels;
}

std::string PeakTraceText(const std::vector<TPeakLogEntry>& log, std::int32_t index, bool wrapped,
                          double blockTime) {
    const std::vector<TPeakLogEntry> points = PeakPointsOldestFirst(log, index, wrapped);
    std::string text;
    text.reserve(points.size() * 72);
    for (std::size_t k = 0; k < points.size(); ++k) {
        text += FormatSettingsReal(static_cast<double>(k) * blockTime);
        text += ' ';
        text += FormatSettingsReal(points[k].Frequency);
        text += ' ';
        text += FormatSettingsReal(points[k].Level);
        text += '\n';
    }
    return text;
}

std::string PeakTraceCsvText(const std::vector<TPeakLogEntry>& log, std::int32_t index,
                             bool wrapped, double blockTime) {
    const std::vector<TPeakLogEntry> points = PeakPointsOldestFirst(log, index, wrapped);
    std::string text = "time_s,frequency_hz,level_db\r\n";
    text.reserve(text.size() + points.size() * 40);
    for (std::size_t k = 0; k < points.size(); ++k) {
        text += ShortestFixed(static_cast<double>(k) * blockTime);
        text += ',';
        text += ShortestFixed(points[k].Frequency);
        text += ',';
        text += ShortestFixed(points[k].Level);
        text += "\r\n";
    }
    return text;
}

void SavePeakTrace(const std::string& path, const std::vector<TPeakLogEntry>& log,
                   std::int32_t index, bool wrapped, double blockTime) {
    std::string extension = path.size() >= 4 ? path.substr(path.size() - 4) : std::string();
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    WriteFileAtomically(path, extension == ".csv" ? PeakTraceCsvText(log, index, wrapped, blockTime)
                                                  : PeakTraceText(log, index, wrapped, blockTime));
}

bool ApplyPeakRange(const TPeakRangeTexts& texts, TPeakRecorderSettings& settings,
                    TPeakRangeResult& result) {
    double fUpper = 0, fLower = 0, lUpper = 0, lLower = 0, points = 0, trigger = 0;
    if (!ParseReal(texts.FrequencyUpper, fUpper) || !ParseReal(texts.FrequencyLower, fLower) ||
        !ParseReal(texts.LevelUpper, lUpper) || !ParseReal(texts.LevelLower, lLower) ||
        !ParseReal(texts.Points, points) || !ParseReal(texts.Trigger, trigger) ||
        points != std::trunc(points) || std::abs(points) > 1e18)
        return false;
    settings.TriggerLevel = trigger;
    result.Capacity.reset();
    if (points > 1.0)
        result.Capacity = static_cast<long long>(points);
    if (fUpper > fLower && fLower >= 0.0) {
        settings.FrequencyUpper = fUpper;
        settings.FrequencyLower = fLower;
    }
    if (lUpper > lLower) {
        settings.LevelUpper = lUpper;
        settings.LevelLower = lLower;
    }
    return true;
}

std::string FixedText(double x, int width, int decimals) {
    char buffer[400];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::fixed, decimals);
    std::string text = error == std::errc{} ? std::string(buffer, end) : FormatReal(x);
    if (static_cast<int>(text.size()) < width)
        text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
    return text;
}
