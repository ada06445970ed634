// SPDX-License-Identifier: GPL-3.0-or-later
// Geometry of what floats over the spectrum graph: cursor read-out, band-edge drags, marker
// read-outs and annotation labels, in whole pixels.
#pragma once

#include <array>
#include <functional>
#include <span>
#include <string>

// A rectangle in pixels: the graph's bounds G in the coordinates of the page that holds it.
struct TPixelRect {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    bool operator==(const TPixelRect&) const = default;
};

struct TPixelPoint {
    int X = 0;
    int Y = 0;
};

// v limited to lo .. hi; lo wins when the range is empty (hi < lo).
int LimitPixel(int v, int lo, int hi);

// ---------------------------------------------------------------------------------------------
// Cursor read-out

// The read-out of the cursor: round(f) in the shortest decimal form and "Hz"; with the level a
// CR, then round(10 L) / 10 in the shortest decimal form and the unit ("dB", "dBu(A)"). Rounding
// to the nearest,
// ties to even.
std::string CursorText(double frequencyHz, double levelDb, bool withLevel,
                       const std::string& unit = "dB");
// Top left of the read-out label (w x h) for the cursor at (x, y) in graph pixels. Aligned right
// of the cursor: left = G.left + x; else left = G.left + x - w; then limited to
// G.left .. G.left + G.width - w. Top = (y - h limited to 0 .. G.height - h) + G.top.
TPixelPoint CursorLabelPosition(const TPixelRect& graph, int x, int y, int width, int height,
                                bool alignRight);

// ---------------------------------------------------------------------------------------------
// Band-edge handles

// What a drag of a band edge starts from, in graph pixels and Hz.
struct TBandDragContext {
    bool Log = false;                             // logarithmic axis: only the dragged edge moves
    int CutOn = 0;                                // current cut-on slider position, Hz
    int CutOff = 0;                               // current cut-off slider position, Hz
    int CutOffMax = 0;                            // largest position of the cut-off slider, Hz
    int CutOnX = 0;                               // x of the cut-on handle in graph pixels
    int CutOffX = 0;                              // x of the cut-off handle in graph pixels
    int GraphWidth = 0;                           // G.width
    std::function<double(double x)> XToFrequency; // the axis mapping, Hz
};

// Where a drag puts the dragged handle (graph pixels) and what it sets the two sliders to.
struct TBandDragResult {
    int X = 0;
    int CutOn = 0;
    int CutOff = 0;
};

// Dragging the cut-on handle to the cursor at x (graph pixels): x limited to 0 .. CutOffX - 1,
// fL = round(XToFrequency(x)). Linear axis: cut-off := CutOff - CutOn + fL (the band keeps its
// width); log axis: the cut-off stays. The cut-off is limited to CutOffMax, then the cut-on
// := fL limited to 0 .. cut-off.
TBandDragResult DragCutOnHandle(const TBandDragContext& c, int cursorX);
// Dragging the cut-on caption: x = cursor x + start left of the cut-on handle - start cursor x
// (all in graph pixels), limited as for the handle; fL = round(XToFrequency(x)); cut-on := fL,
// on a linear axis cut-off := fL + startBandwidth; both limited as for the handle.
TBandDragResult DragCutOnCaption(const TBandDragContext& c, int relativeX, int startBandwidth);
// Dragging the cut-off handle to x: x limited to CutOnX + 1 .. G.width; cut-off :=
// round(XToFrequency(x)); the cut-on stays.
TBandDragResult DragCutOffHandle(const TBandDragContext& c, int cursorX);
// Dragging the cut-off or bandwidth caption: x (relative, as for the cut-on caption) limited to
// CutOnX + 1 .. G.width - 1; cut-off := round(XToFrequency(x)).
TBandDragResult DragCutOffCaption(const TBandDragContext& c, int relativeX);

// ---------------------------------------------------------------------------------------------
// Marker read-outs

// Corner of the marker read-outs: the items of "CPos".
enum TMarkerCorner { mcTopLeft = 0, mcTopRight = 1, mcBottomLeft = 2, mcBottomRight = 3 };

// One label of the read-out block: its size and whether it is shown.
struct TLabelSize {
    int Width = 0;
    int Height = 0;
    bool Visible = false;
};

// Places the main read-out (mainW x mainH) and the memory read-outs. With n visible memory
// read-outs and w the widest, R = (w + 2) n. Top left: (G.left + 2, G.top + 2); top right:
// left = G.left + G.width - mainW - 2 - R; bottom: top = G.top + G.height - mainH - 2. The
// visible memory read-outs follow to the right in order, each 2 pixels after the previous, at
// the main read-out's top. Returns the main position, then one per memory (hidden ones keep
// the main position).
std::array<TPixelPoint, 5> MarkerReadoutPositions(const TPixelRect& graph, int corner, int mainW,
                                                  int mainH,
                                                  std::span<const TLabelSize, 4> memories);

// ---------------------------------------------------------------------------------------------
// Annotation labels

// Position of an annotation label as fractions of the graph: L = left edge / G.width, T = bottom
// edge / G.height, both from the graph's top-left corner.
struct TLabelFraction {
    double L = 0.0;
    double T = 0.0;
};

// Font size of the annotations: round(clientWidth * relative / 1024), at least 1 point.
int AnnotationFontSize(int clientWidth, int relative);
// Limits of a label (w x h) so that at least half of it stays where it can be grabbed:
// top within G.top - h/2 .. G.top + G.height - h/2, left within -w/2 .. G.width - w/2.
TPixelPoint LimitLabelPosition(const TPixelRect& graph, int left, int top, int width, int height);
// Where a label stands for its fractions: left = round(G.width L) + G.left,
// top = round(G.height T) + G.top - h, then limited as a drag limits it (a stored position from a
// larger window or a damaged file stays reachable).
TPixelPoint LabelPositionOfFraction(const TPixelRect& graph, const TLabelFraction& f, int width,
                                    int height);
// The fractions of a label at (left, top): L = (left - G.left) / G.width,
// T = (top + h - G.top) / G.height. A graph without width (height) keeps the previous L (T),
// so the results are always finite.
TLabelFraction LabelFractionOfPosition(const TPixelRect& graph, int left, int top, int height,
                                       const TLabelFraction& previous);
// The fractions of "Move all Labels to top left": L = 0, T = 0.1 + 0.06 i for the labels
// i = 0 (main), 1..4 (memories), 5 (custom).
std::array<TLabelFraction, 6> DefaultLabelFractions();
