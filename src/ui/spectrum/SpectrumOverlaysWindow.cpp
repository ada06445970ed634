// The main window's side of the spectrum overlays: their hooks, settings panel and filter design.
#include "ui/TForm1.h"
#include "ui/scope/ScopeTab.h"
#include "ui/spectrum/MemoryTraces.h"
#include "ui/spectrum/SpectrumOverlays.h"
#include "ui/spectrum/SpectrumTab.h"

#include <QBoxLayout>
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

    // On the "Spectrum / Screenshots" page, below the axis settings.
    if (auto* layout = qobject_cast<QBoxLayout*>(TabSpecSettings->layout())) {
        layout->insertWidget(1, Overlays_->SettingsPanel());
        Overlays_->SettingsPanel()->show();
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
    Guarded([this] { RebuildFilter(); }); // one design for both edges
}
