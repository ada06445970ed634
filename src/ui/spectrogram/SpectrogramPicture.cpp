// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrogram's picture: rows of the history coloured into pixels, kept as a ring of lines.
#include "ui/spectrogram/SpectrogramPicture.h"

#include "ui/spectrogram/ColourMap.h"

#include <algorithm>
#include <cmath>

std::uint32_t TSpectrogramPicture::ColourOf(double shownDb) const {
    const double span = View_.SpanDb > 0.0 ? View_.SpanDb : 1.0;
    const double t = (shownDb - (View_.TopDb - span)) / span;
    const long index = std::lround(std::clamp(std::isfinite(t) ? t : 0.0, 0.0, 1.0) * 255.0);
    return LevelColours()[static_cast<std::size_t>(index)];
}

void TSpectrogramPicture::BuildColours() {
    CodeColours_.resize(65536);
    for (std::size_t code = 0; code < CodeColours_.size(); ++code)
        CodeColours_[code] =
            ColourOf(TSpectrogram::LevelDb(static_cast<std::uint16_t>(code)) + View_.OffsetDb);
}

const std::vector<std::pair<int, int>>&
TSpectrogramPicture::ColumnsOf(const TSpectrogramAxis& axis) const {
    for (const auto& [known, ranges] : Columns_)
        if (known == axis)
            return ranges;
    if (Columns_.size() >= 4)
        Columns_.erase(Columns_.begin());
    const int pixels = View_.FrequencyPixels();
    const int columns = TSpectrogram::Columns;
    std::vector<std::pair<int, int>> ranges(static_cast<std::size_t>(std::max(pixels, 0)), {1, 0});
    if (axis.Valid() && View_.Axis.Valid()) {
        for (int u = 0; u < pixels; ++u) {
            // The pixel's frequency span on the shown axis, as columns of the row's axis.
            const double lo = axis.ColumnOf(View_.Axis.FrequencyAt(u, pixels), columns);
            const double hi = axis.ColumnOf(View_.Axis.FrequencyAt(u + 1, pixels), columns);
            const double middle = axis.ColumnOf(View_.Axis.FrequencyAt(u + 0.5, pixels), columns);
            if (!(hi > 0.0) || !(lo < columns) || !(middle >= 0.0) || !(middle < columns))
                continue; // outside the row's axis: no data
            int first = static_cast<int>(std::floor(std::max(lo, 0.0)));
            int last = static_cast<int>(std::ceil(std::min(hi, double(columns)))) - 1;
            if (last < first)
                first = last = static_cast<int>(std::floor(middle));
            ranges[static_cast<std::size_t>(u)] = {std::clamp(first, 0, columns - 1),
                                                   std::clamp(last, 0, columns - 1)};
        }
    }
    Columns_.emplace_back(axis, std::move(ranges));
    return Columns_.back().second;
}

int TSpectrogramPicture::MaxCode(std::span<const std::uint16_t> codes,
                                 std::pair<int, int> range) const {
    if (range.first > range.second)
        return -1;
    std::uint16_t strongest = 0;
    for (int c = range.first; c <= range.second; ++c)
        strongest = std::max(strongest, codes[static_cast<std::size_t>(c)]);
    return strongest;
}

int TSpectrogramPicture::SlotOfAge(std::size_t shownAge) const {
    const int lines = View_.TimePixels();
    const int age = static_cast<int>(shownAge % static_cast<std::size_t>(lines));
    if (View_.Newest == TNewestAt::Top)
        return (Head_ + age) % lines;
    return ((Head_ - age) % lines + lines) % lines;
}

void TSpectrogramPicture::PutPixel(int slot, int u, std::uint32_t colour) {
    const int w = View_.Width;
    if (View_.Newest == TNewestAt::Top)
        Pixels_[static_cast<std::size_t>(slot) * static_cast<std::size_t>(w) +
                static_cast<std::size_t>(u)] = colour;
    else // frequency upwards: pixel u is line Height - 1 - u of column `slot`
        Pixels_[static_cast<std::size_t>(View_.Height - 1 - u) * static_cast<std::size_t>(w) +
                static_cast<std::size_t>(slot)] = colour;
}

void TSpectrogramPicture::RenderRow(const TSpectrogram& history, std::size_t age, int slot) {
    const int pixels = View_.FrequencyPixels();
    if (age >= history.RowCount()) {
        for (int u = 0; u < pixels; ++u)
            PutPixel(slot, u, NoDataColour);
        return;
    }
    const auto codes = history.RowLevels(age);
    const auto& ranges = ColumnsOf(history.RowInfo(age).Axis);
    for (int u = 0; u < pixels; ++u) {
        const int code = MaxCode(codes, ranges[static_cast<std::size_t>(u)]);
        PutPixel(slot, u, code < 0 ? NoDataColour : CodeColours_[static_cast<std::size_t>(code)]);
    }
}

void TSpectrogramPicture::RenderAll(const TSpectrogram& history) {
    ++FullRenders_;
    Head_ = 0;
    const int lines = View_.TimePixels();
    const std::size_t held = history.RowCount() > Scroll_ ? history.RowCount() - Scroll_ : 0;
    Shown_ = std::min(held, static_cast<std::size_t>(lines));
    for (int a = 0; a < lines; ++a)
        RenderRow(history, Scroll_ + static_cast<std::size_t>(a),
                  SlotOfAge(static_cast<std::size_t>(a)));
}

void TSpectrogramPicture::Update(const TSpectrogram& history, const TSpectrogramView& view,
                                 std::size_t scrollRows) {
    const bool sameView = Valid_ && view == View_;
    if (!sameView) {
        const bool sameColours = Valid_ && view.TopDb == View_.TopDb &&
                                 view.SpanDb == View_.SpanDb && view.OffsetDb == View_.OffsetDb;
        const bool sameColumns =
            Valid_ && view.Axis == View_.Axis && view.FrequencyPixels() == View_.FrequencyPixels();
        View_ = view;
        if (!sameColours)
            BuildColours();
        if (!sameColumns)
            Columns_.clear();
        Pixels_.assign(static_cast<std::size_t>(std::max(view.Width, 0)) *
                           static_cast<std::size_t>(std::max(view.Height, 0)),
                       NoDataColour);
        Valid_ = true;
    }
    if (View_.Width <= 0 || View_.Height <= 0)
        return;
    const std::uint64_t added = history.RowsAdded();
    const int lines = View_.TimePixels();
    const bool sameRows = history.Generation() == Generation_ && added >= Added_;
    const std::uint64_t fresh = sameRows ? added - Added_ : 0;
    if (sameView && sameRows && scrollRows == Scroll_ &&
        (fresh == 0 || (scrollRows == 0 && fresh < static_cast<std::uint64_t>(lines)))) {
        // Only the new rows, oldest first, each into the slot that becomes the newest.
        for (std::uint64_t k = fresh; k-- > 0;) {
            Head_ =
                View_.Newest == TNewestAt::Top ? (Head_ + lines - 1) % lines : (Head_ + 1) % lines;
            RenderRow(history, static_cast<std::size_t>(k), Head_);
        }
        // Rows that the history no longer holds (its ring is shorter than the picture) go.
        const std::size_t shown = std::min(history.RowCount(), static_cast<std::size_t>(lines));
        const std::size_t moved =
            std::min(Shown_ + static_cast<std::size_t>(fresh), static_cast<std::size_t>(lines));
        for (std::size_t age = shown; age < moved; ++age)
            RenderRow(history, history.RowCount(), SlotOfAge(age));
        Shown_ = shown;
        Added_ = added;
        return;
    }
    Generation_ = history.Generation();
    Added_ = added;
    Scroll_ = scrollRows;
    RenderAll(history);
}

std::array<TSpectrogramPicture::TPiece, 2> TSpectrogramPicture::Pieces() const {
    const int w = View_.Width, h = View_.Height;
    if (View_.Newest == TNewestAt::Top) // display y <-> slot (Head + y) mod H
        return {TPiece{0, Head_, w, h - Head_, 0, 0}, TPiece{0, 0, w, Head_, 0, h - Head_}};
    // display x <-> slot (x + Head + 1) mod W
    const int split = w - Head_ - 1;
    return {TPiece{Head_ + 1, 0, split, h, 0, 0}, TPiece{0, 0, Head_ + 1, h, split, 0}};
}

std::uint32_t TSpectrogramPicture::DisplayPixel(int x, int y) const {
    const int w = View_.Width, h = View_.Height;
    if (x < 0 || y < 0 || x >= w || y >= h || Pixels_.empty())
        return NoDataColour;
    const int sx = View_.Newest == TNewestAt::Top ? x : (x + Head_ + 1) % w;
    const int sy = View_.Newest == TNewestAt::Top ? (y + Head_) % h : y;
    return Pixels_[static_cast<std::size_t>(sy) * static_cast<std::size_t>(w) +
                   static_cast<std::size_t>(sx)];
}

std::optional<TSpectrogramPoint> TSpectrogramPicture::PointAt(const TSpectrogram& history, int x,
                                                              int y) const {
    const int w = View_.Width, h = View_.Height;
    if (x < 0 || y < 0 || x >= w || y >= h || !View_.Axis.Valid())
        return std::nullopt;
    const bool top = View_.Newest == TNewestAt::Top;
    const std::size_t age = Scroll_ + static_cast<std::size_t>(top ? y : w - 1 - x);
    const int u = top ? x : h - 1 - y;
    if (age >= history.RowCount())
        return std::nullopt;
    TSpectrogramPoint point;
    point.TimeS = history.RowInfo(age).TimeS;
    point.FrequencyHz = View_.Axis.FrequencyAt(u + 0.5, View_.FrequencyPixels());
    const auto& ranges = ColumnsOf(history.RowInfo(age).Axis);
    const int code = MaxCode(history.RowLevels(age), ranges[static_cast<std::size_t>(u)]);
    if (code > 0)
        point.LevelDb = TSpectrogram::LevelDb(static_cast<std::uint16_t>(code)) + View_.OffsetDb;
    return point;
}
