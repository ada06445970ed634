// SPDX-License-Identifier: GPL-3.0-or-later
// Drawing of the distortion tab: the harmonics' bars and the residual on the spectrum graph.
#include "ui/distortion/DistortionTab.h"

#include "ui/common/ViewMappingQt.h"
#include "ui/common/ViewPaintBox.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The residual's colour: orange (low byte red).
constexpr TColour kResidualColour = 0x0080FF;

} // namespace

void TDistortionTab::PaintBars(QPainter& painter) {
    const QRect area = PaintDistBars->rect();
    const QPalette palette = PaintDistBars->palette();
    painter.fillRect(area, palette.color(QPalette::Base));
    const TDistortionReadings& r = Consumer_.Analyser().Readings();
    const int count = Consumer_.Analyser().Settings().Harmonics - 1; // H2 ... HK
    const QFontMetrics metrics(painter.font());
    const int left = metrics.horizontalAdvance("-200") + 6;
    const int bottom = area.height() - metrics.height() - 4;
    const int top = metrics.height() / 2 + 2;
    if (bottom <= top || count < 1)
        return;
    // 0 dBc at the top, down to the lowest harmonic rounded down to 20 dB (at least -100,
    // at most -200).
    double floorDb = -100.0;
    if (r.Valid)
        for (const THarmonicReading& h : r.Harmonics)
            floorDb = std::min(floorDb, 20.0 * std::floor(h.Dbc / 20.0));
    floorDb = std::max(floorDb, -200.0);
    const auto y = [&](double db) {
        const double share = std::clamp(db / floorDb, 0.0, 1.0);
        return top + static_cast<int>(std::lround(share * (bottom - top)));
    };
    painter.setPen(palette.color(QPalette::Mid));
    for (double db = 0.0; db >= floorDb; db -= 20.0) {
        painter.drawLine(left, y(db), area.width() - 2, y(db));
        painter.setPen(palette.color(QPalette::Text));
        painter.drawText(QRect(0, y(db) - metrics.height() / 2, left - 4, metrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(db, 'f', 0));
        painter.setPen(palette.color(QPalette::Mid));
    }
    const double slot = static_cast<double>(area.width() - left - 2) / count;
    for (int i = 0; i < count; ++i) {
        const int x0 = left + static_cast<int>(std::lround(i * slot));
        const int x1 = left + static_cast<int>(std::lround((i + 1) * slot));
        painter.setPen(palette.color(QPalette::Text));
        painter.drawText(QRect(x0, bottom + 2, x1 - x0, metrics.height()), Qt::AlignCenter,
                         "H" + QString::number(i + 2));
        if (!r.Valid || static_cast<std::size_t>(i) >= r.Harmonics.size())
            continue;
        // Each bar rises from the chart's floor to the harmonic's level.
        const int yBar = y(r.Harmonics[static_cast<std::size_t>(i)].Dbc);
        const int width = std::max(1, (x1 - x0) * 2 / 3);
        painter.fillRect(QRect(x0 + (x1 - x0 - width) / 2, yBar, width, bottom - yBar),
                         palette.color(QPalette::Highlight));
    }
}

void TDistortionTab::DrawResidual(QPainter& painter, const TSpectrumAxis& axis) {
    if (!CDistResidual->isChecked())
        return;
    TDistortionAnalyser& analyser = Consumer_.Analyser();
    const std::span<const double> residual = analyser.Residual();
    if (residual.empty() || analyser.N() == 0)
        return;
    const double binHz = analyser.RateHz() / analyser.N();
    painter.setPen(PenOf(kResidualColour, 1, PaintDistBars->palette()));
    // The largest amplitude of each pixel column; a removed bin lifts the pen.
    std::vector<QPoint> line;
    const auto flush = [&] {
        if (line.size() >= 2)
            painter.drawPolyline(line.data(), static_cast<int>(line.size()));
        else if (line.size() == 1)
            painter.drawPoint(line.front());
        line.clear();
    };
    int column = -1;
    double largest = 0.0;
    const auto addColumn = [&] {
        if (column < 0)
            return;
        const double db = AmplitudeToDb(axis, largest, true);
        line.emplace_back(column, RoundToPixel(std::clamp(DbToY(axis, db), -1e6, 1e6)));
    };
    for (std::size_t k = 1; k < residual.size(); ++k) {
        const double f = static_cast<double>(k) * binHz;
        if (f < axis.FMin || f > axis.FMax)
            continue;
        if (!std::isfinite(residual[k])) {
            addColumn();
            column = -1;
            flush();
            continue;
        }
        const int x = FrequencyToX(axis, f);
        if (x != column) {
            addColumn();
            column = x;
            largest = residual[k];
        } else {
            largest = std::max(largest, residual[k]);
        }
    }
    addColumn();
    flush();
}
