// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's external four-ADC source: selecting it, starting and stopping it, its blocks.
#include "ui/TForm1.h"

#include "audio/AdcHandOver.h"
#include "audio/ExternalAdc.h"
#include "core/NumberText.h"
#include "core/SampleRates.h"
#include "dsp/TBDSP.h"
#include "instruments/AdcCollection.h"
#include "ui/voltmeter/VoltmeterTab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTabWidget>

#include <cmath>

namespace {

int RoundToInt(double value) {
    return static_cast<int>(std::nearbyint(value));
}

} // namespace

void TForm1::CN4Change() {
    const bool external = CN4->currentIndex() != 0;
    GroupN4->setVisible(external);
    PageControl1->setTabVisible(PageControl1->indexOf(TabN4VVM), external);
    if (!external) {
        if (Adc_->AdcOpen())
            Adc_->CloseExternalAdc();
        HandOver_->Clear();
        if (CFrame->isEditable()) { // it showed the rate an external run reported
            const QSignalBlocker block(CFrame);
            CFrame->setEditable(false);
        }
        CFrameChange();
        return;
    }
    if (Adc_->AdcOpen())
        return;
    const QString folder = Env_.ExternalAdcFolder.isEmpty() ? QCoreApplication::applicationDirPath()
                                                            : Env_.ExternalAdcFolder;
    const int result =
        Adc_->LoadExternalAdc((folder + "/" + kExternalAdcLibraryName).toStdString(), "");
    if (result == alOpened)
        return;
    CN4->setCurrentIndex(0); // runs CN4Change for "Sound"
    const QString message =
        QString::fromStdString(ExternalAdcLoadMessage(result, Adc_->LastOpenResult()));
    // Both settings files name the source: at start-up the same failure is shown once.
    if (StartingUp_ && message == AdcFailureShown_)
        return;
    AdcFailureShown_ = message;
    ShowMessage(message);
}

void TForm1::StartExternalSource() {
    constexpr int b = TVoltmeterTab::BlockSamples;
    State_.EngineBlock = b;
    if (VoltmeterTab_->CN4Save->isChecked()) {
        const double seconds = NumberOrThrow(VoltmeterTab_->EN4Time->text().toStdString());
        Collection_->Begin(seconds, State_.SampleRate, b, PhysicalMemoryBytes());
    } else {
        Collection_->Disable();
    }
    const int n = State_.BlockLength;
    HandOver_->Configure(b, n, CN4->currentIndex() == 2 ? 1 : 0);
    State_.SubBlocks = HandOver_->SubBlocks();

    const double rate = Adc_->Start(b, RoundToInt(State_.SampleRate));
    if (!(rate > 0.0) || !std::isfinite(rate)) {
        Adc_->Stop();
        Collection_->Disable();
        throw std::runtime_error("Error: The Norta4 hardware reported a sampling rate of " +
                                 FormatGeneral(rate) + " and was stopped.");
    }
    State_.SampleRate = rate;
    ShowExternalRate(rate);
    if (RoundToInt(rate) != DSP_->SamplesPerSecond()) {
        // The hardware runs at another rate than asked: the band and its filter follow it.
        DSP_->SetSamplesPerSecond(RoundToInt(rate));
        DSP_->CreateFilter();
        State_.LowerBin = RoundToInt(TrackL->value() / rate * n);
        State_.UpperBin = RoundToInt(TrackU->value() / rate * n);
        MeasureSetupChanged();
    }
    VoltmeterTab_->EVVMTChange(); // the averaging time in blocks of this rate
}

void TForm1::ShowExternalRate(double rateHz) {
    const QString text = QString::fromStdString(SampleRateCaption(rateHz));
    const QSignalBlocker block(CFrame);
    const int item = CFrame->findText(text);
    if (item >= 0) {
        CFrame->setEditable(false);
        CFrame->setCurrentIndex(item);
    } else {
        // A rate that is none of the items is shown as it is until another item is chosen.
        CFrame->setEditable(true);
        CFrame->lineEdit()->setReadOnly(true);
        CFrame->setEditText(text);
    }
}

void TForm1::StopExternalSource() {
    Adc_->Stop();
    if (Collection_->Empty())
        return;
    try {
        Collection_->WriteFile(VoltmeterTab_->EN4File->text().toStdString(), State_.SampleRate);
    } catch (const std::exception& e) {
        ShowMessage(QString::fromStdString(e.what()));
    }
}

void TForm1::ExternalBlock(std::span<const std::int32_t> block) {
    if (!Adc_->Running())
        return;
    if (Vvm_->AnalyseBlock(block, TVoltmeterTab::BlockSamples, State_.SampleRate))
        Vvm_->UpdateAverages();
    if (VoltmeterTab_->CN4Save->isChecked())
        Collection_->Add(block);
    if (HandOver_->Add(block)) {
        TDataBufferI ints;
        AStreamData(Adc_.get(), ints, HandOver_->In(), HandOver_->Out());
    }
}

void TForm1::ExternalBlocksDone() {
    VoltmeterTab_->ShowAverages();
    const TStreamHealth health = SourceHealth();
    if (health.Gaps() != ShownGaps_)
        ShowStreamHealth();
}

TStreamHealth TForm1::SourceHealth() const {
    return Adc_ && (Adc_->Running() || CN4->currentIndex() != 0) ? Adc_->Health()
                                                                 : AStream_->Health();
}
