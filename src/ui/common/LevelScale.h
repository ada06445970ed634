// SPDX-License-Identifier: GPL-3.0-or-later
// Marks of a level (dB) scale: where its captions go and at which step.
#pragma once

#include <vector>

// The step between level captions on a scale of spanDb over `pixels`: the smallest of 1, 2 and
// 5 times a power of ten (dB) whose marks lie at least minSpacing pixels apart; spanDb itself
// when none is (or for a scale without pixels).
double LevelStepDb(double spanDb, int pixels, int minSpacing);

struct TLevelMark {
    double Db = 0.0; // a multiple of the step
    int Y = 0;       // round((pixels - 1) * (top - Db) / span) pixels below the top
};
// The marks of the scale topDb ... topDb - spanDb, from the top down.
std::vector<TLevelMark> LevelMarks(double topDb, double spanDb, int pixels, int minSpacing);
