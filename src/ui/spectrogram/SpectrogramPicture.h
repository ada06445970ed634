// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrogram's picture: rows of the history coloured into pixels, kept as a ring of lines.
#pragma once

#include "analysis/Spectrogram.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Where the newest row goes: at the top (frequency across, rows moving down) or at the right
// (frequency upwards, rows moving left).
enum class TNewestAt { Top = 0, Right = 1 };

// What the picture shows and how.
struct TSpectrogramView {
    int Width = 0;  // graph pixels
    int Height = 0; // graph pixels
    TNewestAt Newest = TNewestAt::Top;
    TSpectrogramAxis Axis; // the frequency axis shown (the spectrum view's)
    double TopDb = 0.0;    // shown level at the top of the colour scale
    double SpanDb = 120.0; // the colour scale covers TopDb - SpanDb ... TopDb
    double OffsetDb = 0.0; // shown level = stored level + OffsetDb (the display's calibration)
    bool operator==(const TSpectrogramView&) const = default;

    // Pixels along the frequency axis and along time.
    int FrequencyPixels() const { return Newest == TNewestAt::Top ? Width : Height; }
    int TimePixels() const { return Newest == TNewestAt::Top ? Height : Width; }
};

// What lies under a pixel of the graph.
struct TSpectrogramPoint {
    double TimeS = 0.0;            // the row's time, s of recorded signal
    double FrequencyHz = 0.0;      // the centre of the pixel on the frequency axis
    std::optional<double> LevelDb; // shown level (nothing where the row has no data there)
};

// Colours the spectrogram's rows into a picture of Width x Height pixels (0xAARRGGBB, line by
// line, in the orientation shown) and keeps it: each Update colours only the rows added since
// the last one, unless the view, the history or the scroll position changed. The time lines of
// the buffer form a ring; DisplayPixel and Pieces give the picture in display order. Each pixel
// shows the strongest level among the row's columns under it. Qt-free; one thread.
class TSpectrogramPicture {
public:
    static constexpr std::uint32_t NoDataColour = 0xFF000000u; // no row (yet) at this time

    // Brings the picture up to date with `history`, showing rows from age `scrollRows` on.
    void Update(const TSpectrogram& history, const TSpectrogramView& view,
                std::size_t scrollRows = 0);
    const TSpectrogramView& View() const { return View_; }
    // The colour of a shown level (dB) on the scale: entry round(255 * (level - bottom) / span)
    // of LevelColours(), clamped.
    std::uint32_t ColourOf(double shownDb) const;

    // The pixel at (x, y) of the graph as shown.
    std::uint32_t DisplayPixel(int x, int y) const;
    // The buffer (Width x Height, line by line) and how its two pieces are shown: buffer
    // rectangle [SourceX, SourceX + W) x [SourceY, SourceY + H) goes to (TargetX, TargetY).
    std::span<const std::uint32_t> Buffer() const { return Pixels_; }
    struct TPiece {
        int SourceX = 0, SourceY = 0, W = 0, H = 0, TargetX = 0, TargetY = 0;
    };
    std::array<TPiece, 2> Pieces() const;
    // Counts full repaints (for tests of the incremental update).
    std::uint64_t FullRenders() const { return FullRenders_; }

    // What lies under graph pixel (x, y); nothing outside the graph or where no row is shown.
    std::optional<TSpectrogramPoint> PointAt(const TSpectrogram& history, int x, int y) const;

private:
    void RenderAll(const TSpectrogram& history);
    void RenderRow(const TSpectrogram& history, std::size_t age, int slot);
    // Columns [first, last] of a row taken on `axis` under each frequency pixel (first > last:
    // none), cached for the last few axes.
    const std::vector<std::pair<int, int>>& ColumnsOf(const TSpectrogramAxis& axis) const;
    int MaxCode(std::span<const std::uint16_t> codes, std::pair<int, int> range) const;
    void BuildColours();
    int SlotOfAge(std::size_t shownAge) const;
    void PutPixel(int slot, int u, std::uint32_t colour);

    TSpectrogramView View_;
    std::vector<std::uint32_t> Pixels_;
    std::vector<std::uint32_t> CodeColours_; // colour of each level code, 65536 entries
    mutable std::vector<std::pair<TSpectrogramAxis, std::vector<std::pair<int, int>>>> Columns_;
    int Head_ = 0; // slot of the newest shown row
    std::size_t Scroll_ = 0;
    std::uint64_t Generation_ = ~0ull;
    std::uint64_t Added_ = 0;
    std::size_t Shown_ = 0; // rows of the history in the picture
    std::uint64_t FullRenders_ = 0;
    bool Valid_ = false;
};
