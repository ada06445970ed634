// SPDX-License-Identifier: GPL-3.0-or-later
// The "Spectrogram" tab: the spectrum over time as a scrolling picture with its colour scale.
#pragma once

#include "analysis/Spectrogram.h"
#include "ui/common/InstrumentTab.h"
#include "ui/spectrogram/SpectrogramPicture.h"

#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPainter;
class QPushButton;
class QRect;
class TViewPaintBox;

// Owns the history (the analyser the pipeline feeds), its picture and the tab's controls on the
// page the host gave it. The frequency axis is the spectrum view's (log or linear, zoomed or
// not); levels are shown as the spectrum shows them (its calibration and Y offset applied). The
// history records only while the page is shown and not paused. Main thread only.
class TSpectrogramTab final : public TInstrumentTab {
public:
    explicit TSpectrogramTab(TInstrumentHost& host);

    TBlockConsumer& Consumer() override { return History_; }
    std::vector<TSettingsRow> SettingsRows() override;

    const TSpectrogram& History() const { return History_; }
    const TSpectrogramPicture& Picture() const { return Picture_; }
    // The graph's place in the paint box, pixels.
    QRect GraphRect() const;
    // The read-out of the graph pixel (x, y) (graph coordinates), as LSgCursor shows it; empty
    // where nothing is shown.
    QString ReadOut(int x, int y) const;
    bool Paused() const;
    // Rows scrolled back from the newest (only while paused).
    std::size_t ScrollRows() const { return Scroll_; }

    // Handlers.
    void ESgTopChange();  // EConvertError for a text that is no number
    void ESgSpanChange(); // EConvertError for no number or a span outside 1 ... 1000 dB
    void CSgNewestChange();
    void CSgIntervalChange();
    void BSgPauseClick();
    // Scrolls the paused picture `rows` rows back (negative: forward), within the history.
    void ScrollBy(long rows);

    // Controls, named as their objectName().
    QLineEdit* ESgTop = nullptr;
    QLineEdit* ESgSpan = nullptr;
    QComboBox* CSgNewest = nullptr;
    QComboBox* CSgInterval = nullptr;
    QPushButton* BSgPause = nullptr;
    QLabel* LSgCursor = nullptr;
    TViewPaintBox* PaintSg = nullptr;

    // Row intervals of CSgInterval's items, s (0: each block).
    static constexpr double IntervalSeconds[] = {0.0, 0.05, 0.1, 0.2, 0.5, 1.0, 2.0};

protected:
    void Refresh() override;
    void PageShown() override;
    void PageHidden() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TSpectrogramView CurrentView() const;
    void Paint(QPainter& painter);
    void PaintFrequencyCaptions(QPainter& painter, const QRect& graph);
    void PaintColourScale(QPainter& painter, const QRect& graph);
    void ApplyRecording();
    void ShowCursor(int boxX, int boxY);
    bool ApplyEdit(QLineEdit* edit, bool leaving);

    TSpectrogram History_;
    TSpectrogramPicture Picture_;
    double TopDb_ = 0.0;
    double SpanDb_ = 120.0;
    std::size_t Scroll_ = 0;
    std::uint64_t LastAdded_ = 0; // rows of the history when the picture was last repainted
    std::optional<std::pair<int, int>> Cursor_; // box pixels of the last read-out
};
