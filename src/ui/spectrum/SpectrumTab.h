// SPDX-License-Identifier: GPL-3.0-or-later
// The "Spectrum" tab: graph, caption strip, meter labels, band-edge marks, menus and handlers.
#pragma once

#include "core/MeasurementState.h"
#include "ui/common/ViewMapping.h"
#include "ui/common/ViewSettings.h"
#include "ui/common/ViewTab.h"

#include <QColor>
#include <QPixmap>
#include <QRect>
#include <QString>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPainter;
class QWidget;
class TViewPaintBox;

// What the tab asks of the window and of the overlays that draw into the graph: the hooks every
// view tab has (FormResize, ChooseColour, and ReportError for a number that could not be read
// when the user leaves ETop, EOffset or EBoxes, the edit keeping the focus; empty: a beep), and
// these. Every hook may stay empty.
struct TSpectrumTabHooks : TViewTabHooks {
    // Re-applies the trace colours to the legend and annotation labels (memory traces).
    std::function<void()> ApplyTraceColours;
    // Shows or hides the check boxes M1..M4 and C that belong to the Spectrum tab.
    std::function<void(bool visible)> ShowTraceBoxes;
    // Draws the custom trace into the graph (checks its own switch). Use Axis() for mappings.
    std::function<void(QPainter&)> DrawCustomTrace;
    // Draws memory trace k = 1..4 into the graph (checks its own display item).
    std::function<void(QPainter&, int k)> DrawMemPoly;
    // Traces of the instruments, drawn after the memory traces (each checks its own switch).
    std::vector<std::function<void(QPainter&, const TSpectrumAxis&)>> ExtraTraces;
    // Places the markers, annotations and cursor after the tab's own layout.
    std::function<void()> PlaceOverlays;
    // Runs after each engine block's texts and repaint requests (the marker read-outs).
    std::function<void()> BlockShown;
};

// Creates and owns (through Qt parenthood) the controls of the Spectrum tab on the page it is
// given, and the spectrum's menu items. Reads the spectrum, levels and run parameters from
// MeasurementState and the display settings from TViewSettings; both belong to the window and
// outlive the tab. The tab object itself has no Qt parent: the window holds it in a
// std::unique_ptr. Main thread only.
class TSpectrumTab final : public TViewTab {
public:
    TSpectrumTab(QWidget* page, MeasurementState& state, TViewSettings& settings,
                 TSpectrumTabHooks hooks = {});
    ~TSpectrumTab() override;
    TSpectrumTab(const TSpectrumTab&) = delete;
    TSpectrumTab& operator=(const TSpectrumTab&) = delete;

    TSpectrumTabHooks& Hooks() { return Hooks_; }
    TViewTabHooks& CommonHooks() override { return Hooks_; }

    // Adds the spectrum items of the main menu (log axis, grids, markings, zoom, band lines) to
    // `menu`.
    void AddMenuItems(QMenu* menu);
    // Sets the check marks and edit texts from the settings (after the settings file was read;
    // follow with the window's re-layout).
    void ApplyControlsFromSettings();
    // The group with "Y Maximum", "Y Span" and "Y Offset", for the window's settings page.
    QGroupBox* SettingsGroup() const { return SpecAxisGroup; }

    // The mappings for the graph's current size and settings.
    TSpectrumAxis Axis() const;
    // This tab's part of the window's re-layout: graph, caption strip, background, meter labels,
    // band-edge marks; then PlaceOverlays.
    void Relayout() override;
    // Band-edge marks Shape1/Shape2 at the cut-on/cut-off frequencies (State.Controls.TrackL and
    // TrackU), their captions L_L/L_U and LBW at the top right. The marks stay put while
    // BandMarkDragging is set.
    void PlaceBandMarks();
    // The marks and LBW are visible when BandLines is set and zoom is off.
    void ApplyBandMarkVisibility();
    // Repaints the graph and the caption strip from the data.
    void Invalidate();

    bool BandMarkDragging = false;

    // Painting, in graph or tab pixels; public so that screenshots and benchmarks can paint
    // into images.
    void PaintBox2Paint(QPainter& painter);
    // The parts of PaintBox2Paint that stay between blocks (grids) and those that move.
    void DrawGraphStill(QPainter& painter, const TSpectrumAxis& axis);
    void DrawGraphMoving(QPainter& painter, const TSpectrumAxis& axis);
    void PaintSpecCapPaint(QPainter& painter);
    void DrawSpectrumGrid(QPainter& painter, const TSpectrumAxis& axis);
    void DrawFrequencyGrid(QPainter& painter, const TSpectrumAxis& axis);
    void DrawSpectrumLines(QPainter& painter, const TSpectrumAxis& axis);
    void DrawSpectrumData(QPainter& painter, const TSpectrumAxis& axis);
    // The colour of the trace pieces outside the band edges.
    TColour OuterTraceColour() const;

    // Handlers.
    void LogFClick();
    void LogXGClick();
    void LogXSClick();
    void CGCiClick();
    void CGCoClick();
    void CGCoffClick();
    void CFCClick();
    void EBoxesChange();
    void ETopChange();
    void EOffsetChange();
    void CheckZoomClick();
    void BWClick();
    void Grid2Click();
    void BackGround2Click();
    void Spectrum1Click();
    void Redrawwiththicklines1Click();
    void Reset1Click();
    void TabSpectrumShow();
    void TabSpectrumHide();
    void LSN_OClick();

    // Controls, named as their objectName().
    TViewPaintBox* PaintBox2 = nullptr;
    TViewPaintBox* PaintSpecCap = nullptr;
    QFrame* SpecBack = nullptr;
    QLabel* LBW = nullptr;
    QLabel* L_L = nullptr;
    QLabel* L_U = nullptr;
    QFrame* Shape1 = nullptr;
    QFrame* Shape2 = nullptr;
    QLabel* LSN = nullptr;
    QLabel* LS = nullptr;
    QLabel* LSp = nullptr;
    QAction* LogF = nullptr;
    QAction* LogXG = nullptr;
    QAction* LogXS = nullptr;
    QAction* CGCi = nullptr;
    QAction* CGCo = nullptr;
    QAction* CGCoff = nullptr;
    QAction* CFC = nullptr;
    QAction* CheckZoom = nullptr;
    QAction* BW = nullptr;
    QMenu* PopupSpec = nullptr;
    QAction* Zoom1 = nullptr;
    QAction* Grid2 = nullptr;
    QAction* BackGround2 = nullptr;
    QAction* Spectrum1 = nullptr;
    QAction* Redrawwiththicklines1 = nullptr;
    QAction* Reset1 = nullptr;
    QGroupBox* SpecAxisGroup = nullptr;
    QLineEdit* ETop = nullptr;
    QLineEdit* EBoxes = nullptr;
    QLineEdit* EOffset = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void PageShown() override { TabSpectrumShow(); }
    void PageHidden() override { TabSpectrumHide(); }

private:
    void BuildControls();
    void BuildMenus();
    void BuildSettingsGroup();
    void Connect();
    void ApplyBackground();
    // True when the caption strip's markings differ from those it was last asked to show.
    bool CaptionsChanged();
    // Copies the meter texts into LSN, LS, LSp where they changed and repaints the graph, and
    // the caption strip where its captions changed.
    void ShowBlock() override;
    // What the caption strip's markings depend on besides the settings (those changes run
    // Invalidate): graph size, axis, and the level unit.
    using TCaptionKey = std::tuple<int, int, bool, double, double, double, int, std::string>;
    TCaptionKey CaptionKeyNow() const;
    // Paints the opaque graph: its still picture (background, the caption markings under it and
    // the grids, drawn again only when one of its inputs changed), then the traces.
    void PaintOpaqueGraph(QPainter& painter);

    // Everything the graph's still picture depends on.
    struct TStillKey {
        TCaptionKey Captions;
        QRect Graph;
        QRect Strip;
        int BandwidthHeight = 0;
        TColour Grid = 0;
        std::int32_t GridWidth = 0;
        bool LogGrid = false;
        bool LogSubGrid = false;
        std::int32_t Markings = 0;
        bool FMarkings = false;
        QRgb Back = 0;
        qint64 Palette = 0;
        QString Font;
        qreal PixelRatio = 0.0;
        bool operator==(const TStillKey&) const = default;
    };
    TStillKey StillKeyNow() const;

    TCaptionKey CaptionKey_;
    QPixmap Still_;
    TStillKey StillKey_;
    MeasurementState& State_;
    TViewSettings& Settings_;
    TSpectrumTabHooks Hooks_;
};
