// SPDX-License-Identifier: GPL-3.0-or-later
// Cuts a dense polyline down to what one-pixel columns can show, drawing the same pixels.
#include "ui/common/TraceReduction.h"

#include <algorithm>
#include <array>
#include <cstdlib>

void AppendColumnReduced(const QPoint* points, std::size_t count, std::vector<QPoint>& out) {
    std::size_t i = 0;
    while (i < count) {
        const int x = points[i].x();
        std::size_t end = i + 1;
        int low = points[i].y();
        int high = low;
        while (end < count && points[end].x() == x) {
            low = std::min(low, points[end].y());
            high = std::max(high, points[end].y());
            ++end;
        }
        const int first = points[i].y();
        const int last = points[end - 1].y();
        out.push_back(points[i]);
        if (end - i > 1) {
            // Through both extremes in either order (the union is the same span), ending at
            // `last`, where the next column's segment starts.
            const bool upFirst = std::abs(first - low) < std::abs(first - high);
            for (const int y :
                 upFirst ? std::array<int, 2>{low, high} : std::array<int, 2>{high, low})
                if (y != out.back().y())
                    out.emplace_back(x, y);
            if (last != out.back().y())
                out.emplace_back(x, last);
        }
        i = end;
    }
}
