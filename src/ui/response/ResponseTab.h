// SPDX-License-Identifier: GPL-3.0-or-later
// The "Response" tab: the frequency response of a device under test, its coherence and delay,
// with memories of responses and response files.
#pragma once

#include "analysis/ResponseConsumer.h"
#include "analysis/ResponseFile.h"
#include "ui/common/InstrumentTab.h"

#include <QString>

#include <array>
#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPainter;
class QPushButton;
class QRect;
class TViewPaintBox;

// Owns the response consumer the pipeline feeds and the tab's controls. The graph shows the
// magnitude (dB, upper pane) and the phase (degrees, lower pane) over a logarithmic frequency
// axis from 20 Hz to half the rate, the coherence as a faint trace over the upper pane (0 at its
// foot, 1 at its top) and the memories' responses in their colours. The consumer runs while the
// page is shown, and all through the run while our output is the reference and the generator
// plays periodic noise (the delay beyond one period is found from the moment playing starts).
// Main thread only.
class TResponseTab final : public TInstrumentTab {
public:
    static constexpr int Memories = 4;
    // The smoothing of CRespSmoothing's items: off, then 1/b octave.
    static constexpr int SmoothingOf[] = {0, 48, 24, 12, 6, 3, 1};

    explicit TResponseTab(TInstrumentHost& host);

    TBlockConsumer& Consumer() override { return Consumer_; }
    std::vector<TSettingsRow> SettingsRows() override;
    const TResponseConsumer& ResponseConsumer() const { return Consumer_; }
    // The readings as shown at the last refresh.
    const TResponseReadings& Readings() const { return Readings_; }
    const TResponseCurve& Memory(int i) const { return Memories_[static_cast<std::size_t>(i)]; }
    QRect GraphRect(bool phase) const;

    // File to save to or load from (empty: cancelled). Empty hooks: file dialogs.
    std::function<QString()> ChooseSaveFile;
    std::function<QString()> ChooseLoadFile;

    // Handlers.
    void CRespReferenceChange();
    void CRespSmoothingChange();
    void CRespDelayChange();
    void CRespStimulusChange();
    void ERespAveragesChange(); // EConvertError for a text that is not 1 ... 1000
    void BRespRestartClick();
    void BRespStoreClick(); // the shown response into the memory of CRespMem
    void BRespClearClick(); // empties that memory
    void BRespSaveClick();  // the shown response as FRD or CSV
    void BRespLoadClick();  // a file into the memory of CRespMem

    // Controls, named as their objectName().
    QComboBox* CRespReference = nullptr;
    QLineEdit* ERespAverages = nullptr;
    QComboBox* CRespSmoothing = nullptr;
    QComboBox* CRespDelay = nullptr;
    QComboBox* CRespStimulus = nullptr;
    QPushButton* BRespRestart = nullptr;
    QComboBox* CRespMem = nullptr;
    QPushButton* BRespStore = nullptr;
    QPushButton* BRespClear = nullptr;
    QPushButton* BRespSave = nullptr;
    QPushButton* BRespLoad = nullptr;
    QLabel* LRespDelay = nullptr;
    TViewPaintBox* PaintResp = nullptr;

protected:
    void Refresh() override;
    void PageShown() override;
    void PageHidden() override;

private:
    void Paint(QPainter& painter);
    void ApplySettings();
    void UpdateActive();
    bool ApplyAverages(bool leaving);

    TResponseConsumer Consumer_;
    TResponseReadings Readings_;
    TResponseSettings Settings_;
    std::array<TResponseCurve, Memories> Memories_;
    int NoisePower_ = 0; // the period the generator was last given, 2^power
    QString Folder_;
};
