// SPDX-License-Identifier: GPL-3.0-or-later
// The "Scope" tab: trace view, time-base and amplitude sliders, trigger mark, menus and handlers.
#pragma once

#include "core/MeasurementState.h"
#include "ui/common/StaticCaptions.h"
#include "ui/common/ViewMapping.h"
#include "ui/common/ViewSettings.h"
#include "ui/common/ViewTab.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QPainter;
class QSlider;
class QWidget;
class TViewPaintBox;

// What the tab asks of the window: the hooks every view tab has. Every hook may stay empty.
using TScopeTabHooks = TViewTabHooks;

// Creates and owns (through Qt parenthood) the controls of the Scope tab on the page it is given.
// Reads the sweep points and writes the time base, zoom and trigger settings of
// MeasurementState::Scope; colours and pen widths come from TViewSettings. Both belong to the
// window and outlive the tab. The tab object itself has no Qt parent: the window holds it in a
// std::unique_ptr. Main thread only.
class TScopeTab final : public TViewTab {
public:
    TScopeTab(QWidget* page, MeasurementState& state, TViewSettings& settings,
              TScopeTabHooks hooks = {});
    ~TScopeTab() override;
    TScopeTab(const TScopeTab&) = delete;
    TScopeTab& operator=(const TScopeTab&) = delete;

    TScopeTabHooks& Hooks() { return CommonHooks(); }

    // The mappings for the view's current size, time base, zoom and calibration.
    TScopeAxis Axis() const;
    // This tab's part of the window's re-layout: view, sliders, captions, meters, trigger mark,
    // background.
    void Relayout() override;
    // Repaints the view from the data.
    void Invalidate();

    // Painting in view pixels; public so that screenshots and benchmarks can paint into images.
    void PaintBox1Paint(QPainter& painter);
    void DrawScopeData(QPainter& painter, const TScopeAxis& axis);
    void DrawScopeGrid(QPainter& painter, const TScopeAxis& axis);
    void DrawScopeLines(QPainter& painter, const TScopeAxis& axis);

    // Handlers.
    void TrackTChange();
    void TrackAmpChange();
    void scymClick();
    void sctmClick();
    void ScopLevClick();
    void race1Click();
    void Grid1Click();
    void Background1Click();
    void Redrawwiththicklines2Click();
    void Single1Click();
    void TNormClick();
    void TAutoClick();
    void TSingleClick();
    void TOffClick();
    void TRiseClick();
    void TFallClick();
    // Trigger mark drag; y in client pixels of the Scope tab.
    void LTrigMouseDown(int tabY);
    void LTrigMouseMove(int tabY);
    void LTrigMouseUp();
    void TabScopeShow();
    void LSN_OClick();

    // Controls, named as their objectName().
    TViewPaintBox* PaintBox1 = nullptr;
    QFrame* ScopeBack = nullptr;
    QSlider* TrackAmp = nullptr;
    QSlider* TrackT = nullptr;
    QLabel* LabT = nullptr;
    QLabel* LTrig = nullptr;
    QLabel* LSN_O = nullptr;
    QLabel* LCS = nullptr;
    QMenu* PopupScope = nullptr;
    QAction* scym = nullptr;
    QAction* sctm = nullptr;
    QAction* ScopLev = nullptr;
    QAction* race1 = nullptr;
    QAction* Grid1 = nullptr;
    QAction* Background1 = nullptr;
    QAction* Redrawwiththicklines2 = nullptr;
    QAction* Single1 = nullptr;
    QMenu* PopupTrig = nullptr;
    QAction* TNorm = nullptr;
    QAction* TAuto = nullptr;
    QAction* TSingle = nullptr;
    QAction* TOff = nullptr;
    QAction* TRise = nullptr;
    QAction* TFall = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void PageShown() override { TabScopeShow(); }

private:
    void BuildControls();
    void BuildMenus();
    void Connect();
    void ApplyBackground();
    void PlaceTriggerMark();
    void SetTriggerModeItem(int mode);
    // Copies the LSN_O and LCS texts where they changed and repaints the view.
    void ShowBlock() override;

    MeasurementState& State_;
    TViewSettings& Settings_;
    bool Dragging_ = false;
    int DragStartY_ = 0;   // cursor y at mouse down, tab pixels
    int DragStartTop_ = 0; // mark top at mouse down, tab pixels
    TStaticCaptions Captions_; // the grid's markings, laid out once
};
