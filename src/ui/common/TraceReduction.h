// SPDX-License-Identifier: GPL-3.0-or-later
// Cuts a dense polyline down to what one-pixel columns can show, drawing the same pixels.
#pragma once

#include <QPoint>

#include <cstddef>
#include <vector>

// Appends the polyline through points[0..count) with every run of points in one pixel column
// cut down to its first, lowest, highest and last point. Consecutive segments within a column
// are vertical and cover exactly the span from the lowest to the highest point, so the pixels
// drawn stay the same while a dense trace (hundreds of points per column) draws far fewer
// segments.
void AppendColumnReduced(const QPoint* points, std::size_t count, std::vector<QPoint>& out);
