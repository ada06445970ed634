// SPDX-License-Identifier: GPL-3.0-or-later
// The "Loudness" tab: the sound level meter and the loudness meter, read-outs, bar and history.
#include "ui/loudness/LoudnessTab.h"

#include "core/MeasurementState.h"
#include "core/NumberText.h"
#include "ui/WidgetNaming.h"
#include "ui/common/InstrumentRows.h"
#include "ui/common/ViewPaintBox.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kBarSpanDb = 100.0;    // the bar: full scale + 3 dB down to 97 dB below it
constexpr double kHistoryTopLufs = 0.0; // the history's scale
constexpr double kHistoryBottomLufs = -60.0;

// A level with one decimal, or "--" when there is none.
QString Value(double db) {
    return std::isfinite(db) ? QString::number(db, 'f', 1) : QString("--");
}

QLabel* LargeLabel(QWidget* page, const char* name) {
    auto* label = Named<QLabel>(page, name);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 2.2);
    font.setBold(true);
    label->setFont(font);
    return label;
}

} // namespace

TLoudnessTab::TLoudnessTab(TInstrumentHost& host)
    : TInstrumentTab(host, "Loudness", "TabLoudness") {
    Meters_.Slm.Channel = [&host] { return host.State().Controls.ComboChannel; };
    Meters_.Slm.SplSensitivity = [&host] { return host.State().SplSensitivityDb; };
    Meters_.Loudness.Channel = [&host] { return host.State().Controls.ComboChannel; };

    auto* layout = new QVBoxLayout(Page);
    auto* controls = new QHBoxLayout;
    CSlmWeighting = Named<QComboBox>(Page, "CSlmWeighting");
    CSlmWeighting->addItems({"A weighting", "C weighting", "Z weighting"});
    CSlmTime = Named<QComboBox>(Page, "CSlmTime");
    CSlmTime->addItems({"Fast (125 ms)", "Slow (1 s)"});
    ESlmInterval = Named<QLineEdit>(Page, "ESlmInterval", "60");
    ELoudTarget = Named<QLineEdit>(Page, "ELoudTarget", "-23");
    for (QLineEdit* edit : {ESlmInterval, ELoudTarget})
        edit->setMaximumWidth(70);
    CLoudHidden = Named<QComboBox>(Page, "CLoudHidden");
    CLoudHidden->addItems({"Hidden: keep measuring", "Hidden: stop"});
    BLoudReset = Named<QPushButton>(Page, "BLoudReset", "Reset");
    controls->addWidget(CSlmWeighting);
    controls->addWidget(CSlmTime);
    controls->addWidget(new QLabel("Leq every", Page));
    controls->addWidget(ESlmInterval);
    controls->addWidget(new QLabel("s", Page));
    controls->addStretch(1);
    layout->addLayout(controls);
    auto* loudControls = new QHBoxLayout; // a second row, so that the page stays narrow
    loudControls->addWidget(new QLabel("Target", Page));
    loudControls->addWidget(ELoudTarget);
    loudControls->addWidget(new QLabel("LUFS", Page));
    loudControls->addWidget(CLoudHidden);
    loudControls->addWidget(BLoudReset);
    loudControls->addStretch(1);
    layout->addLayout(loudControls);

    auto* readouts = new QGridLayout;
    LSlmLevel = LargeLabel(Page, "LSlmLevel");
    LSlmLeq = LargeLabel(Page, "LSlmLeq");
    LLoudM = LargeLabel(Page, "LLoudM");
    LLoudS = LargeLabel(Page, "LLoudS");
    LLoudI = LargeLabel(Page, "LLoudI");
    LSlmMore = Named<QLabel>(Page, "LSlmMore");
    LLoudMore = Named<QLabel>(Page, "LLoudMore");
    for (QLabel* label : {LSlmMore, LLoudMore})
        label->setWordWrap(true);
    // Read-outs never widen the window: they take the width the page has.
    for (QLabel* label : {LSlmLevel, LSlmLeq, LLoudM, LLoudS, LLoudI, LSlmMore, LLoudMore})
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    readouts->addWidget(LSlmLevel, 0, 0);
    readouts->addWidget(LSlmLeq, 0, 1);
    readouts->addWidget(LSlmMore, 1, 0, 1, 3);
    readouts->addWidget(LLoudM, 2, 0);
    readouts->addWidget(LLoudS, 2, 1);
    readouts->addWidget(LLoudI, 2, 2);
    readouts->addWidget(LLoudMore, 3, 0, 1, 3);
    layout->addLayout(readouts);
    PaintSlmBar = new TViewPaintBox(Page, "PaintSlmBar");
    PaintSlmBar->setMinimumHeight(3 * PaintSlmBar->fontMetrics().height());
    PaintSlmBar->setMaximumHeight(3 * PaintSlmBar->fontMetrics().height());
    layout->addWidget(PaintSlmBar);
    PaintLoudHistory = new TViewPaintBox(Page, "PaintLoudHistory");
    layout->addWidget(PaintLoudHistory, 1);
    AttachPaintBox(
        PaintSlmBar, [this](QPainter& painter) { PaintBar(painter); }, nullptr);
    AttachPaintBox(
        PaintLoudHistory, [this](QPainter& painter) { PaintHistory(painter); }, nullptr);

    connect(CSlmWeighting, &QComboBox::currentIndexChanged, this,
            [this] { CSlmWeightingChange(); });
    connect(CSlmTime, &QComboBox::currentIndexChanged, this, [this] { CSlmTimeChange(); });
    connect(CLoudHidden, &QComboBox::currentIndexChanged, this, [this] { CLoudHiddenChange(); });
    ConnectEdit(ESlmInterval, [this](bool leaving) { ApplyEdit(ESlmInterval, leaving); });
    ConnectEdit(ELoudTarget, [this](bool leaving) { ApplyEdit(ELoudTarget, leaving); });
    connect(BLoudReset, &QPushButton::clicked, this, [this] { BLoudResetClick(); });
    CSlmWeightingChange();
    Refresh();
}

std::vector<TSettingsRow> TLoudnessTab::SettingsRows() {
    return {ComboRow("SlmWeighting=", CSlmWeighting), ComboRow("SlmTime=", CSlmTime),
            EditRow(
                "SlmInterval=", ESlmInterval, [this] { ApplyEdit(ESlmInterval, true); }, "10"),
            EditRow(
                "LoudTarget=", ELoudTarget, [this] { ApplyEdit(ELoudTarget, true); }, "-16"),
            ComboRow("LoudHidden=", CLoudHidden)};
}

// ---------------------------------------------------------------------------------------------
// Handlers

void TLoudnessTab::CSlmWeightingChange() {
    const int item = std::clamp(CSlmWeighting->currentIndex(), 0, 2);
    Meters_.Slm.SetWeighting(static_cast<TAudioWeighting>(item));
    Meters_.Slm.ResetReadings();
    Refresh();
}

void TLoudnessTab::CSlmTimeChange() {
    Meters_.Slm.SetSlowExtremes(CSlmTime->currentIndex() == 1);
    Refresh();
}

bool TLoudnessTab::ApplyEdit(QLineEdit* edit, bool leaving) {
    const bool interval = edit == ESlmInterval;
    const bool applied = EditChanged(
        [this, interval] { interval ? ESlmIntervalChange() : ELoudTargetChange(); }, leaving);
    if (!applied && leaving)
        edit->setText(
            QString::fromStdString(FormatGeneral(interval ? IntervalSeconds_ : TargetLufs_)));
    return applied;
}

void TLoudnessTab::ESlmIntervalChange() {
    const std::string text = ESlmInterval->text().toStdString();
    const double seconds = NumberOrThrow(text);
    if (!(seconds >= 1.0 && seconds <= 3600.0))
        throw EConvertError("'" + text + "' is not an interval from 1 to 3600 s");
    IntervalSeconds_ = seconds;
    Meters_.Slm.SetIntervalSeconds(seconds);
    Refresh();
}

void TLoudnessTab::ELoudTargetChange() {
    const std::string text = ELoudTarget->text().toStdString();
    const double lufs = NumberOrThrow(text);
    if (!(lufs >= -70.0 && lufs <= 0.0))
        throw EConvertError("'" + text + "' is not a target from -70 to 0 LUFS");
    TargetLufs_ = lufs;
    PaintLoudHistory->update();
}

void TLoudnessTab::CLoudHiddenChange() {
    Meters_.SetActive(Shown() || (EverShown_ && CLoudHidden->currentIndex() == 0));
}

void TLoudnessTab::BLoudResetClick() {
    Meters_.Restart();
    Refresh();
}

void TLoudnessTab::PageShown() {
    TInstrumentTab::PageShown();
    EverShown_ = true;
    if (!Meters_.Active()) // readings continue only while they were measured all along
        Meters_.Restart();
    Meters_.SetActive(true);
}

void TLoudnessTab::PageHidden() {
    TInstrumentTab::PageHidden();
    CLoudHiddenChange();
}

void TLoudnessTab::Refresh() {
    Slm_ = Meters_.Slm.Readings();
    const TLoudnessReadings l = Meters_.Loudness.Readings(10);
    const QString unit = Slm_.Spl ? "dB SPL" : "dB";
    const auto name = [this](const char* suffix) {
        return QString::fromStdString(SoundLevelName(Slm_.Letter, suffix));
    };
    const bool slow = Slm_.SlowForExtremes;
    LSlmLevel->setText(
        QString("%1 %2 %3")
            .arg(name(slow ? "S" : "F"), Value(slow ? Slm_.SlowDb : Slm_.FastDb), unit));
    LSlmLeq->setText(QString("%1 %2 %3").arg(name("eq"), Value(Slm_.LeqDb), unit));
    LSlmMore->setText(
        QString("%1 (last %2 s) %3   %4 %5   %6 %7   LCpeak %8 %9   over %10 s")
            .arg(name("eq,T"), QString::fromStdString(FormatGeneral(Slm_.IntervalSeconds)),
                 Value(Slm_.IntervalLeqDb), name(slow ? "Smax" : "Fmax"), Value(Slm_.MaxDb),
                 name(slow ? "Smin" : "Fmin"), Value(Slm_.MinDb), Value(Slm_.CPeakDb), unit)
            .arg(QString::number(Slm_.Seconds, 'f', 1)));
    LLoudM->setText("M " + Value(l.MomentaryLufs) + " LUFS");
    LLoudS->setText("S " + Value(l.ShortTermLufs) + " LUFS");
    LLoudI->setText("I " + Value(l.IntegratedLufs) + " LUFS");
    LLoudMore->setText(
        QString("LRA %1 LU   M max %2   S max %3 LUFS   true peak %4 dBTP   "
                "sample peak %5 dBFS   %6")
            .arg(Value(l.RangeLu), Value(l.MomentaryMaxLufs), Value(l.ShortTermMaxLufs),
                 Value(l.TruePeakDbtp), Value(l.SamplePeakDbfs),
                 l.Channels == 1 ? QString("one channel") : QString("two channels")));
    PaintSlmBar->update();
    PaintLoudHistory->update();
}

// ---------------------------------------------------------------------------------------------
// Painting

// The F or S level as a horizontal bar over 100 dB ending 3 dB above full scale, ticks every
// 10 dB.
void TLoudnessTab::PaintBar(QPainter& painter) {
    const QPalette& palette = PaintSlmBar->palette();
    painter.fillRect(PaintSlmBar->rect(), palette.window());
    const QFontMetrics fm = painter.fontMetrics();
    const QRect bar(4, 2, std::max(0, PaintSlmBar->width() - 8), fm.height());
    painter.fillRect(bar, palette.base());
    const double offset = Host.State().SplSensitivityDb.value_or(0.0);
    const double top = offset + 3.0;
    const double level = Slm_.SlowForExtremes ? Slm_.SlowDb : Slm_.FastDb;
    const auto x = [&](double db) {
        return bar.left() +
               static_cast<int>(std::lround(
                   std::clamp((db - (top - kBarSpanDb)) / kBarSpanDb, 0.0, 1.0) * bar.width()));
    };
    if (std::isfinite(level))
        painter.fillRect(QRect(bar.left(), bar.top(), x(level) - bar.left(), bar.height()),
                         QColor(0, 150, 0));
    if (std::isfinite(Slm_.MaxDb))
        painter.fillRect(QRect(x(Slm_.MaxDb) - 1, bar.top(), 2, bar.height()), Qt::red);
    painter.setPen(palette.windowText().color());
    painter.drawRect(bar.adjusted(0, 0, -1, -1));
    for (double db = std::ceil((top - kBarSpanDb) / 10.0) * 10.0; db <= top; db += 10.0) {
        const int tx = x(db);
        painter.drawLine(tx, bar.bottom(), tx, bar.bottom() + 3);
        const QString caption = QString::number(db, 'f', 0);
        painter.drawText(std::clamp(tx - fm.horizontalAdvance(caption) / 2, 0,
                                    PaintSlmBar->width() - fm.horizontalAdvance(caption)),
                         bar.bottom() + 3 + fm.ascent(), caption);
    }
}

// The last HistorySeconds of momentary (thin) and short-term (thick) loudness from -60 to
// 0 LUFS, grid every 10 LU, the target as a red line.
void TLoudnessTab::PaintHistory(QPainter& painter) {
    const QPalette& palette = PaintLoudHistory->palette();
    painter.fillRect(PaintLoudHistory->rect(), palette.window());
    const QFontMetrics fm = painter.fontMetrics();
    const int left = fm.horizontalAdvance("-00 LUFS") + 6;
    const QRect graph(left, fm.height() / 2, std::max(0, PaintLoudHistory->width() - left - 4),
                      std::max(0, PaintLoudHistory->height() - fm.height() - 2));
    if (graph.width() <= 1 || graph.height() <= 1)
        return;
    painter.fillRect(graph, palette.base());
    const auto y = [&](double lufs) {
        const double share = (kHistoryTopLufs - lufs) / (kHistoryTopLufs - kHistoryBottomLufs);
        return graph.top() +
               static_cast<int>(std::lround(std::clamp(share, 0.0, 1.0) * (graph.height() - 1)));
    };
    const QColor text = palette.windowText().color();
    for (double lufs = kHistoryTopLufs; lufs >= kHistoryBottomLufs; lufs -= 10.0) {
        painter.setPen(QColor(200, 200, 200));
        painter.drawLine(graph.left(), y(lufs), graph.right(), y(lufs));
        painter.setPen(text);
        const QString caption = QString::number(lufs, 'f', 0) + " LUFS";
        painter.drawText(graph.left() - 4 - fm.horizontalAdvance(caption),
                         y(lufs) + fm.ascent() / 2 - 1, caption);
    }
    painter.setPen(QPen(Qt::red, 2));
    painter.drawLine(graph.left(), y(TargetLufs_), graph.right(), y(TargetLufs_));

    const auto& history = Meters_.Loudness.History();
    if (!history.empty()) {
        const double end = history.back().Seconds;
        const auto x = [&](double seconds) {
            return graph.left() + (graph.width() - 1) * (1.0 - (end - seconds) / HistorySeconds);
        };
        QPainterPath momentary, shortTerm;
        bool started = false;
        for (const TLoudnessPoint& p : history) {
            if (p.Seconds < end - HistorySeconds)
                continue;
            const QPointF m(x(p.Seconds), y(std::isfinite(p.MomentaryLufs) ? p.MomentaryLufs
                                                                           : kHistoryBottomLufs));
            const QPointF s(x(p.Seconds), y(std::isfinite(p.ShortTermLufs) ? p.ShortTermLufs
                                                                           : kHistoryBottomLufs));
            if (!started) {
                momentary.moveTo(m);
                shortTerm.moveTo(s);
                started = true;
            } else {
                momentary.lineTo(m);
                shortTerm.lineTo(s);
            }
        }
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(QPen(QColor(0, 90, 200), 1));
        painter.drawPath(momentary);
        painter.setPen(QPen(QColor(0, 40, 120), 3));
        painter.drawPath(shortTerm);
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(text);
    painter.drawRect(graph.adjusted(-1, -1, 0, 0));
}
