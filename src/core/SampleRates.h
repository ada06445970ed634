// SPDX-License-Identifier: GPL-3.0-or-later
// The sample rates the window offers, their captions and the item a stored rate selects.
#pragma once

#include <array>
#include <cstdint>
#include <string>

// The rates of the sample-rate list in order, samples/s: the telephone and broadcast rates, the
// CD rate 44100 and its multiples, and 48000 and its multiples.
inline constexpr std::array<std::int32_t, 12> ListedSampleRates = {
    6000, 8000, 12000, 18000, 24000, 36000, 44100, 48000, 88200, 96000, 176400, 192000};

// The list item a stored rate r = round(v) selects, or -1 for 200001 and above (the selection is
// then left as it is): the first item whose rate is at least r - 1000 (so 7001 ... 9000 select
// 8000, 44101 ... 45100 select 44100); 192000 takes everything up to 200000.
int SampleRateItem(long long r);

// The caption of a rate in the list: rate / 1000 in the general format and " ksps"
// ("44.1 ksps", "48 ksps").
std::string SampleRateCaption(double rateHz);

// The rate of a caption made by SampleRateCaption, samples/s; 0 when the text holds no number.
double SampleRateOfCaption(const std::string& caption);
