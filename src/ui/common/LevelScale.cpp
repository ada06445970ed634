// SPDX-License-Identifier: GPL-3.0-or-later
// Marks of a level (dB) scale: where its captions go and at which step.
#include "ui/common/LevelScale.h"

#include <cmath>

double LevelStepDb(double spanDb, int pixels, int minSpacing) {
    if (!(spanDb > 0.0) || pixels <= 1)
        return spanDb;
    const double least = spanDb * minSpacing / (pixels - 1); // dB the spacing needs at least
    for (double decade = std::pow(10.0, std::floor(std::log10(std::max(least, 1e-6))));
         decade <= spanDb; decade *= 10.0)
        for (const double m : {1.0, 2.0, 5.0})
            if (m * decade >= least)
                return m * decade;
    return spanDb;
}

std::vector<TLevelMark> LevelMarks(double topDb, double spanDb, int pixels, int minSpacing) {
    std::vector<TLevelMark> marks;
    const double step = LevelStepDb(spanDb, pixels, minSpacing);
    if (!(step > 0.0) || !std::isfinite(topDb) || pixels <= 1)
        return marks;
    for (double db = std::floor(topDb / step) * step; db >= topDb - spanDb - 1e-9; db -= step)
        marks.push_back({db, static_cast<int>(std::lround((pixels - 1) * (topDb - db) / spanDb))});
    return marks;
}
