// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's side of the spectrum overlays: their hooks, settings panel and filter design.
#include "ui/TForm1.h"

#include "dsp/TBDSP.h"
#include "ui/scope/ScopeTab.h"
#include "ui/spectrum/MemoryTraces.h"
#include "ui/spectrum/SpectrumOverlays.h"
#include "ui/spectrum/SpectrumTab.h"

#include <QBoxLayout>
#include <QFrame>
#include <QScrollArea>
#include <QSlider>

void TForm1::BuildSpectrumOverlays() {
    TSpectrumOverlayHooks hooks;
    hooks.FormResize = [this] { FormResize(); };
    hooks.Beep = [this] { Beep(); };
    hooks.ClientWidth = [this] { return width(); };
    hooks.DeferFilterDesign = [this](bool deferred) { DeferFilterDesign(deferred); };
    Overlays_ = std::make_unique<TSpectrumOverlays>(
        *SpectrumTab_, State_, ViewSettings_, *MemTraces_, TrackL, TrackU, C,
        std::vector<QLabel*>{SpectrumTab_->LSN, SpectrumTab_->LS, SpectrumTab_->LSp},
        std::vector<QLabel*>{ScopeTab_->LSN_O, ScopeTab_->LCS}, std::move(hooks));

    // On the "Spectrum / Screenshots" page, below the axis settings; it scrolls rather than
    // holding the whole window to its height.
    if (auto* layout = qobject_cast<QBoxLayout*>(TabSpecSettings->layout())) {
        auto* scroll = new QScrollArea(TabSpecSettings);
        scroll->setObjectName("SpecOverlayScroll");
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidgetResizable(true);
        scroll->setWidget(Overlays_->SettingsPanel()); // the scroll area takes it over
        Overlays_->SettingsPanel()->show();
        layout->insertWidget(1, scroll, 1);
    }
    SpectrumTab_->Hooks().PlaceOverlays = [this] { Overlays_->PlaceOverlays(); };
    SpectrumTab_->Hooks().BlockShown = [this] { Overlays_->EngineBlockShown(); };
    MemTraces_->Hooks().RebuildMarkerReadouts = [this] {
        Overlays_->UpdateMarkerText();
        Overlays_->CPosChange();
    };
    MemTraces_->Hooks().ReapplyAnnotations = [this] {
        Overlays_->CAClick();
        Overlays_->CATClick();
    };
    MemTraces_->ApplyTraceColours(this); // the marker and annotation labels exist now
}

void TForm1::DeferFilterDesign(bool deferred) {
    FilterDesignDeferred_ = deferred;
    if (deferred || !FilterDesignPending_)
        return;
    FilterDesignPending_ = false;
    // Each edge that moved designs the filter once (cheaper than a new filter object).
    Guarded([this] {
        if (DSP_->StartFrequency() != TrackL->value())
            DSP_->SetStartFrequency(TrackL->value());
        if (DSP_->StopFrequency() != TrackU->value())
            DSP_->SetStopFrequency(TrackU->value());
    });
}
