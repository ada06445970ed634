// SPDX-License-Identifier: GPL-3.0-or-later
// Painting of the spectrum graph (grid, frequency grid, level lines, traces) and its markings.
#include "ui/spectrum/SpectrumTab.h"

#include "core/LevelUnits.h"
#include "ui/common/TraceReduction.h"
#include "ui/common/ViewMappingQt.h"
#include "ui/common/ViewPaintBox.h"

#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPen>

#include <algorithm>
#include <vector>

void TSpectrumTab::PaintBox2Paint(QPainter& painter) {
    const TSpectrumAxis axis = Axis();
    painter.setRenderHint(QPainter::Antialiasing, false);
    DrawGraphStill(painter, axis);
    DrawGraphMoving(painter, axis);
}

void TSpectrumTab::DrawGraphStill(QPainter& painter, const TSpectrumAxis& axis) {
    DrawSpectrumGrid(painter, axis);
    DrawFrequencyGrid(painter, axis);
}

void TSpectrumTab::DrawGraphMoving(QPainter& painter, const TSpectrumAxis& axis) {
    DrawSpectrumLines(painter, axis);
    if (Hooks_.DrawCustomTrace)
        Hooks_.DrawCustomTrace(painter);
    if (Hooks_.DrawMemPoly)
        for (int k = 1; k <= 4; ++k)
            Hooks_.DrawMemPoly(painter, k);
    for (const auto& draw : Hooks_.ExtraTraces)
        draw(painter, axis);
    DrawSpectrumData(painter, axis);
}

void TSpectrumTab::DrawSpectrumGrid(QPainter& painter, const TSpectrumAxis& axis) {
    const int w = axis.Width;
    const int h = axis.Height;
    painter.setBrush(Qt::NoBrush);
    painter.setPen(PenOf(Settings_.SpecGridColor, Settings_.GridWidth, Page->palette()));
    const QPoint frame[] = {{0, 0}, {w - 1, 0}, {w - 1, h - 1}, {0, h - 1}, {0, 0}};
    painter.drawPolyline(frame, 5);
    for (int k = 1; k < axis.Boxes; ++k) {
        const int y = BoxLineY(h, k, axis.Boxes);
        painter.drawLine(0, y, w - 1, y);
    }
}

void TSpectrumTab::DrawFrequencyGrid(QPainter& painter, const TSpectrumAxis& axis) {
    painter.setPen(PenOf(Settings_.SpecGridColor, Settings_.GridWidth, Page->palette()));
    const bool logGrid = axis.Log && Settings_.LogGrid;
    const std::vector<TGridMark> marks =
        logGrid ? LogGridMarks(axis, Settings_.LogSubGrid) : LinearGridMarks(axis);
    for (const TGridMark& mark : marks) {
        // Lines left of or beyond the graph would not show; the linear grid also skips x = 0.
        if (mark.X < (logGrid ? 0 : 1) || mark.X > axis.Width)
            continue;
        painter.drawLine(mark.X, 0, mark.X, axis.Height - 1);
    }
}

void TSpectrumTab::DrawSpectrumLines(QPainter& painter, const TSpectrumAxis& axis) {
    const QPalette palette = Page->palette();
    painter.setPen(PenOf(OliveColour, Settings_.GridWidth, palette));
    if (State_.SpecialMeter == 0) {
        const int x = Limited(FrequencyToX(
            axis, BinToFrequency(State_.PeakBin, State_.SampleRate, State_.BlockLength)));
        painter.drawLine(x, 0, x, axis.Height - 1);
    }
    // The S and S+N lines follow the meter menu: their labels are shown exactly when checked.
    const double dbPerPixel = 10.0 * axis.Boxes;
    const auto levelY = [&](double levelDb) {
        return Limited(RoundToPixel(axis.Height * (axis.YTop - levelDb) / dbPerPixel));
    };
    if (!LS->isHidden() && !State_.DisplayPoints.empty()) {
        const int y = levelY(State_.SLevel);
        painter.drawLine(0, y, axis.Width - 1, y);
    }
    if (!LSN->isHidden()) {
        painter.setPen(PenOf(RedColour, Settings_.GridWidth, palette));
        const int y = levelY(State_.SNLevel);
        painter.drawLine(0, y, axis.Width - 1, y);
    }
}

TColour TSpectrumTab::OuterTraceColour() const {
    return BlendColour(Settings_.SpecTraceColor, Settings_.SpecBackColor, 50,
                       PaletteLookup(Page->palette()));
}

void TSpectrumTab::DrawSpectrumData(QPainter& painter, const TSpectrumAxis& axis) {
    const std::vector<TSpectrumPoint>& data = State_.DisplayPoints;
    if (data.empty())
        return;
    // The band edges are where the marks stand, read back through the mapping.
    const double fLow = XToFrequency(axis, Shape1->x() - PaintBox2->x());
    const double fHigh = XToFrequency(axis, Shape2->x() - PaintBox2->x());

    std::vector<QPoint> points(data.size());
    for (std::size_t i = 0; i < data.size(); ++i) {
        const int x = FrequencyToX(axis, data[i].x);
        const int y = RoundToPixel(DbToY(axis, AmplitudeToDb(axis, data[i].y, true)));
        points[i] = QPoint(Limited(x), Limited(y));
    }
    const TTraceSplit split = SplitTrace(data, fLow, fHigh);
    const QPalette palette = Page->palette();
    const QPen outer(PenOf(OuterTraceColour(), Settings_.TraceWidth, palette));
    const QPen middle(PenOf(Settings_.SpecTraceColor, Settings_.TraceWidth, palette));
    painter.setBrush(Qt::NoBrush);
    std::vector<QPoint> reduced;
    reduced.reserve(
        std::min<std::size_t>(points.size(), 4 * static_cast<std::size_t>(axis.Width) + 8));
    for (int piece = 0; piece < 3; ++piece) {
        const std::size_t count = split.End[piece] - split.Begin[piece];
        if (count < 2)
            continue;
        reduced.clear();
        AppendColumnReduced(points.data() + split.Begin[piece], count, reduced);
        painter.setPen(piece == 1 ? middle : outer);
        if (reduced.size() >= 2)
            painter.drawPolyline(reduced.data(), static_cast<int>(reduced.size()));
        else
            painter.drawPoint(reduced.front()); // a piece of points all on one pixel
    }
}

void TSpectrumTab::PaintSpecCapPaint(QPainter& painter) {
    const TSpectrumAxis axis = Axis();
    const QRect graph = PaintBox2->geometry();
    painter.setPen(ToQColor(Settings_.SpecGridColor, Page->palette()));
    painter.setFont(Page->font());
    const QFontMetrics metrics(Page->font());
    const int strip = LBW->height();

    // dB markings: inside the graph just below each line, or centred on it in the left margin;
    // on a graph too low for all of them (a small screenshot), on every second, third, ... line.
    if (Settings_.Markings == 1 || Settings_.Markings == 2) {
        const int shift = Settings_.Markings == 2 ? -10 : 0;
        const int stride = DbCaptionStride(axis.Height, axis.Boxes, metrics.height());
        for (int k = 0; k < axis.Boxes; k += stride) {
            const int top = BoxLineY(axis.Height, k, axis.Boxes) + strip + shift;
            painter.drawText(
                2, top + metrics.ascent(),
                QString::fromStdString(DbCaptionText(axis.YTop, k, AxisUnitText(State_))));
        }
    }

    // Frequency markings along the bottom, each centred on its grid position, moved inwards
    // where that would cross the graph's left or right edge ("0 Hz" of a linear axis).
    // Where they would overlap, decades first and then from left to right.
    if (Settings_.FMarkings && Settings_.LogGrid) {
        const int top = PaintSpecCap->height() - (metrics.height() - 2);
        std::vector<QString> texts;
        std::vector<TCaptionSpan> spans;
        for (const TFrequencyCaption& caption : FrequencyCaptions(axis, Settings_.LogSubGrid)) {
            if (caption.X < 0 || caption.X > graph.width())
                continue;
            texts.push_back(QString::fromStdString(caption.Text));
            const int width = metrics.horizontalAdvance(texts.back());
            spans.push_back({CaptionLeft(caption.X, width, graph.width()), width, caption.Decade});
        }
        const int gap = metrics.horizontalAdvance(' ');
        const std::vector<bool> written = CaptionsThatFit(spans, gap);
        for (std::size_t i = 0; i < texts.size(); ++i)
            if (written[i])
                painter.drawText(graph.x() + spans[i].Left, top + metrics.ascent(), texts[i]);
    }
}
