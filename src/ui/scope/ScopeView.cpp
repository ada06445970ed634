// SPDX-License-Identifier: GPL-3.0-or-later
// Painting of the scope view: the trace, the frame with voltage and time markings, level lines.
#include "ui/scope/ScopeTab.h"

#include "core/NumberText.h"
#include "ui/common/TraceReduction.h"
#include "ui/common/ViewMappingQt.h"
#include "ui/common/ViewPaintBox.h"

#include <QAction>
#include <QFontMetrics>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <vector>

void TScopeTab::PaintBox1Paint(QPainter& painter) {
    const TScopeAxis axis = Axis();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    DrawScopeData(painter, axis);
    DrawScopeGrid(painter, axis);
    if (ScopLev->isChecked())
        DrawScopeLines(painter, axis);
}

void TScopeTab::DrawScopeData(QPainter& painter, const TScopeAxis& axis) {
    const std::vector<TScopePoint>& data = State_.Scope.ScopePoints;
    if (data.size() < 2)
        return;
    std::vector<QPoint> points(data.size());
    for (std::size_t i = 0; i < data.size(); ++i)
        points[i] = QPoint(Limited(TimeToX(axis, data[i].t)), Limited(PointToY(axis, data[i].v)));
    // A sweep has many samples per pixel column at long time bases: draw what the columns show.
    std::vector<QPoint> reduced;
    reduced.reserve(
        std::min<std::size_t>(points.size(), 4 * static_cast<std::size_t>(axis.Width) + 8));
    AppendColumnReduced(points.data(), points.size(), reduced);
    painter.setPen(PenOf(Settings_.ScopeColor, Settings_.TraceWidth, Page->palette()));
    if (reduced.size() >= 2)
        painter.drawPolyline(reduced.data(), static_cast<int>(reduced.size()));
    else
        painter.drawPoint(reduced.front()); // a sweep all on one pixel
}

void TScopeTab::DrawScopeGrid(QPainter& painter, const TScopeAxis& axis) {
    const int w = axis.Width;
    const int h = axis.Height;
    const QPalette palette = Page->palette();
    painter.setPen(PenOf(Settings_.ScopeGridColor, Settings_.GridWidth, palette));
    painter.setFont(Page->font());
    const QFontMetrics metrics(Page->font());
    const QPoint frame[] = {{0, 0}, {w - 1, 0}, {w - 1, h - 1}, {0, h - 1}, {0, 0}};
    painter.drawPolyline(frame, 5);
    const int centre = VoltageToY(axis, 0.0);
    painter.drawLine(0, centre, w - 1, centre);

    // Voltage lines at whole steps above and below 0 V, captioned inside the view at the left.
    if (scym->isChecked() && axis.Vfs != 0.0) {
        const double step = ScopeMarkingStep(axis.Vfs);
        const int n = step > 0.0 ? static_cast<int>(std::trunc(axis.Vfs / step)) : 0;
        const int textHeight = metrics.height();
        for (int j = 1; j <= n; ++j) {
            const QString caption =
                QString::fromStdString(ScopeCaptionText(TruncSignificant(j * step, 2), "V"));
            const int below = Limited(VoltageToY(axis, -j * step));
            painter.drawLine(0, below, w, below);
            Captions_.Draw(painter, 2, below - textHeight + metrics.ascent(), "-" + caption);
            const int above = Limited(VoltageToY(axis, j * step));
            painter.drawLine(0, above, w, above);
            Captions_.Draw(painter, 2, above + metrics.ascent(), caption);
        }
    }

    // Time lines at tenths of the time base, captioned at mid-height.
    if (sctm->isChecked()) {
        for (int j = 0; j <= 9; ++j) {
            const double t = j * axis.TimeBase / 10;
            const int x = Limited(TimeToX(axis, t));
            painter.drawLine(x, 0, x, h);
            // Beside its line, but never past the right edge.
            const QString caption = QString::fromStdString(ScopeCaptionText(t, "s"));
            const int left = std::min(x + 1, std::max(w - metrics.horizontalAdvance(caption), 0));
            Captions_.Draw(painter, left, h / 2 + metrics.ascent(), caption);
        }
    }
}

void TScopeTab::DrawScopeLines(QPainter& painter, const TScopeAxis& axis) {
    painter.setPen(PenOf(RedColour, Settings_.GridWidth, Page->palette()));
    for (const double sign : {1.0, -1.0}) {
        const int y = Limited(PointToY(axis, sign * State_.ScopeRms));
        painter.drawLine(0, y, axis.Width - 1, y);
    }
}
