// SPDX-License-Identifier: GPL-3.0-or-later
// The instrument tabs of the window and the window's narrow face towards them.
#include "ui/InstrumentTabs.h"

#include "ui/TForm1.h"
#include "ui/distortion/DistortionTab.h"
#include "ui/loudness/LoudnessTab.h"
#include "ui/octave/OctaveTab.h"
#include "ui/response/ResponseTab.h"
#include "ui/screenshot/ScreenshotTool.h"
#include "ui/spectrogram/SpectrogramTab.h"
#include "ui/spectrum/SpectrumTab.h"

#include <QTabWidget>

TInstrumentTabs MakeInstrumentTabs(TInstrumentHost& host) {
    TInstrumentTabs tabs;
    // Each instrument adds one line here; the order is that of their pages and settings keys.
    tabs.push_back(std::make_unique<TDistortionTab>(host));
    tabs.push_back(std::make_unique<TSpectrogramTab>(host));
    tabs.push_back(std::make_unique<TOctaveTab>(host));
    tabs.push_back(std::make_unique<TResponseTab>(host));
    tabs.push_back(std::make_unique<TLoudnessTab>(host));
    return tabs;
}

// The window as its instrument tabs see it.
class TFormInstrumentHost final : public TInstrumentHost {
public:
    explicit TFormInstrumentHost(TForm1& form) : Form_(form) {}

    const MeasurementState& State() const override { return Form_.State_; }
    bool Sampling() const override { return Form_.Sampling(); }
    QWidget* AddPage(const QString& caption, const QString& objectName) override {
        auto* page = new QWidget(Form_.PageControl1);
        page->setObjectName(objectName);
        Form_.PageControl1->insertTab(Form_.PageControl1->indexOf(Form_.TabSettings), page,
                                      caption);
        return page;
    }
    TViewTabHooks ViewHooks() override {
        TViewTabHooks hooks;
        hooks.FormResize = [this] { Form_.FormResize(); };
        hooks.ReportError = [this](const std::string& message) {
            Form_.ShowMessage(QString::fromStdString(message));
        };
        return hooks;
    }
    void ShowMessage(const QString& text) override { Form_.ShowMessage(text); }
    void Beep() override { Form_.Beep(); }
    void SetGeneratorTones(const TTwoTones& tones) override {
        Form_.State_.Generator.Tones = tones;
    }
    void SetGeneratorStimulus(TStimulusKind kind, int power) override {
        Form_.State_.Generator.Stimulus = kind;
        Form_.State_.Generator.NoisePower = power;
    }
    void AddSpectrumTrace(std::function<void(QPainter&, const TSpectrumAxis&)> draw) override {
        Form_.SpectrumTab().Hooks().ExtraTraces.push_back(std::move(draw));
    }
    const TViewSettings& ViewSettings() const override { return Form_.ViewSettings_; }
    void AddPictureItem(const QString& caption, const QString& objectName, QWidget* page) override {
        Form_.Screenshots().AddPictureItem(caption, objectName, page);
    }

private:
    TForm1& Form_;
};

void TForm1::BuildInstruments() {
    InstrumentHost_ = std::make_unique<TFormInstrumentHost>(*this);
    const TInstrumentFactory make =
        Env_.MakeInstruments ? Env_.MakeInstruments : TInstrumentFactory(MakeInstrumentTabs);
    Instruments_ = make(*InstrumentHost_);
    for (const auto& tab : Instruments_)
        Parts_.Consumers.push_back(&tab->Consumer());
}
