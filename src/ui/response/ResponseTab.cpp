// SPDX-License-Identifier: GPL-3.0-or-later
// The "Response" tab: magnitude, phase and coherence of a device under test over a log axis.
#include "ui/response/ResponseTab.h"

#include "core/MeasurementState.h"
#include "core/NumberText.h"
#include "files/AtomicFile.h"
#include "ui/WidgetNaming.h"
#include "ui/common/InstrumentRows.h"
#include "ui/common/ViewMappingQt.h"
#include "ui/common/ViewPaintBox.h"
#include "ui/common/ViewSettings.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

#include <algorithm>
#include <bit>
#include <cmath>

namespace {

constexpr double kLowHz = 20.0;
const QColor kMemoryColours[TResponseTab::Memories] = {QColor(0, 90, 200), QColor(0, 150, 60),
                                                       QColor(190, 0, 160), QColor(230, 120, 0)};

} // namespace

TResponseTab::TResponseTab(TInstrumentHost& host)
    : TInstrumentTab(host, "Response", "TabResponse") {
    auto* layout = new QVBoxLayout(Page);
    CRespReference = Named<QComboBox>(Page, "CRespReference");
    CRespReference->addItems({"Left: reference", "Right: reference", "Output: reference"});
    ERespAverages = Named<QLineEdit>(Page, "ERespAverages", "16");
    ERespAverages->setMaximumWidth(50);
    CRespSmoothing = Named<QComboBox>(Page, "CRespSmoothing");
    CRespSmoothing->addItems({"No smoothing", "1/48 octave", "1/24 octave", "1/12 octave",
                              "1/6 octave", "1/3 octave", "1/1 octave"});
    CRespDelay = Named<QComboBox>(Page, "CRespDelay");
    CRespDelay->addItems({"Delay removed", "Delay kept"});
    CRespStimulus = Named<QComboBox>(Page, "CRespStimulus");
    CRespStimulus->addItems({"Sine", "White noise", "Pink noise"});
    BRespRestart = Named<QPushButton>(Page, "BRespRestart", "Restart");
    CRespMem = Named<QComboBox>(Page, "CRespMem");
    CRespMem->addItems({"Mem 1", "Mem 2", "Mem 3", "Mem 4"});
    BRespStore = Named<QPushButton>(Page, "BRespStore", "Store");
    BRespClear = Named<QPushButton>(Page, "BRespClear", "Clear");
    BRespLoad = Named<QPushButton>(Page, "BRespLoad", "Load ...");
    BRespSave = Named<QPushButton>(Page, "BRespSave", "Save ...");
    LRespDelay = Named<QLabel>(Page, "LRespDelay");
    auto* settings = new QHBoxLayout;
    settings->addWidget(CRespReference);
    settings->addWidget(new QLabel("Averages", Page));
    settings->addWidget(ERespAverages);
    settings->addWidget(CRespSmoothing);
    settings->addWidget(CRespDelay);
    settings->addWidget(new QLabel("Generator", Page));
    settings->addWidget(CRespStimulus);
    settings->addStretch(1);
    layout->addLayout(settings);
    auto* memories = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{BRespRestart, CRespMem, BRespStore,
                                                      BRespClear, BRespLoad, BRespSave})
        memories->addWidget(w);
    memories->addStretch(1);
    layout->addLayout(memories);
    layout->addWidget(LRespDelay);
    PaintResp = new TViewPaintBox(Page, "PaintResp");
    layout->addWidget(PaintResp, 1);
    AttachPaintBox(
        PaintResp, [this](QPainter& painter) { Paint(painter); }, nullptr);

    connect(CRespReference, &QComboBox::currentIndexChanged, this,
            [this] { CRespReferenceChange(); });
    connect(CRespSmoothing, &QComboBox::currentIndexChanged, this,
            [this] { CRespSmoothingChange(); });
    connect(CRespDelay, &QComboBox::currentIndexChanged, this, [this] { CRespDelayChange(); });
    connect(CRespStimulus, &QComboBox::currentIndexChanged, this,
            [this] { CRespStimulusChange(); });
    ConnectEdit(ERespAverages, [this](bool leaving) { ApplyAverages(leaving); });
    connect(BRespRestart, &QPushButton::clicked, this, [this] { BRespRestartClick(); });
    connect(BRespStore, &QPushButton::clicked, this, [this] { BRespStoreClick(); });
    connect(BRespClear, &QPushButton::clicked, this, [this] { BRespClearClick(); });
    connect(BRespSave, &QPushButton::clicked, this, [this] { BRespSaveClick(); });
    connect(BRespLoad, &QPushButton::clicked, this, [this] { BRespLoadClick(); });
    ApplySettings();
    UpdateActive();
}

std::vector<TSettingsRow> TResponseTab::SettingsRows() {
    return {ComboRow("RespReference=", CRespReference),
            EditRow(
                "RespAverages=", ERespAverages, [this] { ApplyAverages(true); }, "32"),
            ComboRow("RespSmoothing=", CRespSmoothing), ComboRow("RespDelay=", CRespDelay)};
}

// ---------------------------------------------------------------------------------------------
// Handlers

void TResponseTab::ApplySettings() {
    Settings_.Smoothing = SmoothingOf[std::clamp(CRespSmoothing->currentIndex(), 0, 6)];
    Settings_.RemoveDelay = CRespDelay->currentIndex() != 1;
    // Periodic noise of period N gives every bin exactly with the rectangular window.
    Settings_.Rectangular = CRespStimulus->currentIndex() > 0;
    Consumer_.Analyser().SetSettings(Settings_);
    Refresh();
}

void TResponseTab::UpdateActive() {
    const bool wholeRun = CRespReference->currentIndex() == 2 && CRespStimulus->currentIndex() > 0;
    Consumer_.SetActive(Shown() || wholeRun);
}

void TResponseTab::CRespReferenceChange() {
    Consumer_.SetReference(
        static_cast<TResponseReference>(std::clamp(CRespReference->currentIndex(), 0, 2)));
    UpdateActive();
    Refresh();
}

void TResponseTab::CRespSmoothingChange() {
    ApplySettings();
}

void TResponseTab::CRespDelayChange() {
    ApplySettings();
}

void TResponseTab::CRespStimulusChange() {
    const int item = std::clamp(CRespStimulus->currentIndex(), 0, 2);
    NoisePower_ = std::countr_zero(static_cast<unsigned>(std::max(Host.State().BlockLength, 8)));
    Host.SetGeneratorStimulus(static_cast<TStimulusKind>(item), NoisePower_);
    ApplySettings();
    UpdateActive();
    Consumer_.RestartAverage();
}

bool TResponseTab::ApplyAverages(bool leaving) {
    const bool applied = EditChanged([this] { ERespAveragesChange(); }, leaving);
    if (!applied && leaving)
        ERespAverages->setText(QString::number(Settings_.Averages));
    return applied;
}

void TResponseTab::ERespAveragesChange() {
    const std::string text = ERespAverages->text().toStdString();
    const double k = NumberOrThrow(text);
    if (!(k >= 1.0 && k <= 1000.0) || k != std::floor(k))
        throw EConvertError("'" + text + "' is not a whole number of blocks from 1 to 1000");
    Settings_.Averages = static_cast<int>(k);
    ApplySettings();
}

void TResponseTab::BRespRestartClick() {
    Consumer_.RestartAverage();
    Refresh();
}

void TResponseTab::BRespStoreClick() {
    TResponseCurve curve = CurveOfReadings(Readings_);
    if (curve.FrequencyHz.empty()) {
        Host.ShowMessage("No response to store yet");
        return;
    }
    Memories_[static_cast<std::size_t>(std::clamp(CRespMem->currentIndex(), 0, 3))] =
        std::move(curve);
    PaintResp->update();
}

void TResponseTab::BRespClearClick() {
    Memories_[static_cast<std::size_t>(std::clamp(CRespMem->currentIndex(), 0, 3))] = {};
    PaintResp->update();
}

void TResponseTab::BRespSaveClick() {
    const TResponseCurve curve = CurveOfReadings(Readings_);
    if (curve.FrequencyHz.empty()) {
        Host.ShowMessage("No response to save yet");
        return;
    }
    if (Folder_.isEmpty())
        Folder_ = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QString path = ChooseSaveFile
                       ? ChooseSaveFile()
                       : QFileDialog::getSaveFileName(Page, "Save the response", Folder_,
                                                      "FRD file (*.frd);;CSV file (*.csv)");
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += ".frd";
    try {
        WriteResponseFile(path.toStdString(), curve);
        Folder_ = QFileInfo(path).absolutePath();
    } catch (const EFileWriteError& e) {
        Host.ShowMessage(QString::fromStdString(e.what()));
    }
}

void TResponseTab::BRespLoadClick() {
    if (Folder_.isEmpty())
        Folder_ = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString path =
        ChooseLoadFile ? ChooseLoadFile()
                       : QFileDialog::getOpenFileName(Page, "Load a response", Folder_,
                                                      "Responses (*.frd *.csv *.txt);;All (*)");
    if (path.isEmpty())
        return;
    try {
        Memories_[static_cast<std::size_t>(std::clamp(CRespMem->currentIndex(), 0, 3))] =
            ReadResponseFile(path.toStdString());
        Folder_ = QFileInfo(path).absolutePath();
    } catch (const ELevelFileError& e) {
        Host.ShowMessage(QString::fromStdString(e.what())); // the memory keeps what it had
    }
    PaintResp->update();
}

void TResponseTab::PageShown() {
    TInstrumentTab::PageShown();
    UpdateActive();
}

void TResponseTab::PageHidden() {
    TInstrumentTab::PageHidden();
    UpdateActive();
}

void TResponseTab::Refresh() {
    // The noise's period follows N.
    const int power =
        std::countr_zero(static_cast<unsigned>(std::max(Host.State().BlockLength, 8)));
    if (CRespStimulus->currentIndex() > 0 && power != NoisePower_) {
        NoisePower_ = power;
        Host.SetGeneratorStimulus(static_cast<TStimulusKind>(CRespStimulus->currentIndex()), power);
    }
    Readings_ = Consumer_.Analyser().Readings();
    const TResponseReadings& r = Readings_;
    LRespDelay->setText(
        r.Valid
            ? QString("Delay %1 samples (%2 ms)   coherence %3   %4 blocks averaged")
                  .arg(QString::number(r.DelaySamples, 'f', 2), QString::number(r.DelayMs, 'f', 3),
                       QString::number(r.CoherenceMean, 'f', 4))
                  .arg(r.Averaged)
        : Consumer_.Settling()
            ? QStringLiteral("A gap in the stream: the measurement starts afresh after it")
            : QString::fromStdString(r.Problem));
    PaintResp->update();
}

// ---------------------------------------------------------------------------------------------
// Painting

QRect TResponseTab::GraphRect(bool phase) const {
    const QFontMetrics fm = PaintResp->fontMetrics();
    const int left = fm.horizontalAdvance("-180 deg") + 6;
    const int above = fm.height() / 2 + 1;
    const int below = fm.height() + 4;
    const int height = std::max(0, PaintResp->height() - above - below);
    const int magnitude = height * 3 / 5;
    const int width = std::max(0, PaintResp->width() - left - 4);
    return phase ? QRect(left, above + magnitude + fm.height() / 2, width,
                         std::max(0, height - magnitude - fm.height() / 2))
                 : QRect(left, above, width, magnitude);
}

void TResponseTab::Paint(QPainter& painter) {
    const QPalette& palette = PaintResp->palette();
    painter.fillRect(PaintResp->rect(), palette.window());
    const QRect mag = GraphRect(false), ph = GraphRect(true);
    if (mag.width() <= 0 || mag.height() <= 0 || ph.height() <= 0)
        return;
    const TViewSettings& vs = Host.ViewSettings();
    for (const QRect& g : {mag, ph})
        painter.fillRect(g, ToQColor(vs.SpecBackColor, palette));
    const QFontMetrics fm = painter.fontMetrics();
    const QColor text = palette.windowText().color();
    const QPen gridPen = PenOf(vs.SpecGridColor, vs.GridWidth, palette);
    const double highHz = std::max(Host.State().SampleRate / 2.0, 2.0 * kLowHz);
    const double logSpan = std::log(highHz / kLowHz);
    const auto xOf = [&](double hz) {
        return mag.left() + mag.width() * std::log(hz / kLowHz) / logSpan;
    };
    // The magnitude's range: 60 dB below a top 5 dB above the highest point shown, in 10 dB steps.
    double highest = -1e300;
    const auto consider = [&](const std::vector<double>& f, const std::vector<double>& db) {
        for (std::size_t i = 0; i < f.size() && i < db.size(); ++i)
            if (f[i] >= kLowHz && std::isfinite(db[i]))
                highest = std::max(highest, db[i]);
    };
    consider(Readings_.FrequencyHz, Readings_.MagnitudeDb);
    for (const TResponseCurve& m : Memories_)
        consider(m.FrequencyHz, m.MagnitudeDb);
    const double top = highest > -1e299 ? 10.0 * std::ceil((highest + 5.0) / 10.0) : 10.0;
    const double span = 60.0;
    const auto yDb = [&](double db) { return mag.top() + mag.height() * (top - db) / span; };
    const auto yDeg = [&](double deg) { return ph.top() + ph.height() * (180.0 - deg) / 360.0; };

    // Grid: decades and their 2 and 5, every 10 dB, every 90 degrees.
    for (const double decade : {10.0, 100.0, 1000.0, 10000.0, 100000.0})
        for (const double m : {1.0, 2.0, 5.0}) {
            const double hz = decade * m;
            if (hz < kLowHz || hz > highHz)
                continue;
            const int x = static_cast<int>(std::lround(xOf(hz)));
            painter.setPen(gridPen);
            painter.drawLine(x, mag.top(), x, mag.bottom());
            painter.drawLine(x, ph.top(), x, ph.bottom());
            const QString caption =
                hz >= 1000.0 ? QString::number(hz / 1000.0) + "k" : QString::number(hz);
            painter.setPen(text);
            painter.drawText(x - fm.horizontalAdvance(caption) / 2, ph.bottom() + 3 + fm.ascent(),
                             caption);
        }
    for (double db = top; db >= top - span; db -= 10.0) {
        const int y = static_cast<int>(std::lround(yDb(db)));
        painter.setPen(gridPen);
        painter.drawLine(mag.left(), y, mag.right(), y);
        painter.setPen(text);
        const QString caption = QString::number(db) + " dB";
        painter.drawText(mag.left() - 4 - fm.horizontalAdvance(caption), y + fm.ascent() / 2 - 1,
                         caption);
    }
    for (int deg = -180; deg <= 180; deg += 90) {
        const int y = static_cast<int>(std::lround(yDeg(deg)));
        painter.setPen(gridPen);
        painter.drawLine(ph.left(), y, ph.right(), y);
        painter.setPen(text);
        const QString caption = QString::number(deg) + " deg";
        painter.drawText(ph.left() - 4 - fm.horizontalAdvance(caption), y + fm.ascent() / 2 - 1,
                         caption);
    }

    // A curve: its points from 20 Hz on; the phase breaks where it wraps.
    const auto draw = [&](const std::vector<double>& f, const std::vector<double>& v,
                          const QRect& clip, const auto& y, bool wraps, const QPen& pen) {
        QPainterPath path;
        bool open = false;
        double last = 0.0;
        for (std::size_t i = 0; i < f.size() && i < v.size(); ++i) {
            if (f[i] < kLowHz || f[i] > highHz || !std::isfinite(v[i])) {
                open = false;
                continue;
            }
            const QPointF p(xOf(f[i]), y(v[i]));
            if (open && !(wraps && std::abs(v[i] - last) > 180.0))
                path.lineTo(p);
            else
                path.moveTo(p);
            open = true;
            last = v[i];
        }
        painter.save();
        painter.setClipRect(clip);
        painter.setPen(pen);
        painter.drawPath(path);
        painter.restore();
    };
    const auto yCoherence = [&](double c) { return mag.bottom() - mag.height() * c; };
    draw(Readings_.FrequencyHz, Readings_.Coherence, mag, yCoherence, false,
         QPen(QColor(160, 160, 160, 110), 1));
    for (int i = 0; i < Memories; ++i) {
        const TResponseCurve& m = Memories_[static_cast<std::size_t>(i)];
        const QPen pen(kMemoryColours[i], 1);
        draw(m.FrequencyHz, m.MagnitudeDb, mag, yDb, false, pen);
        draw(m.FrequencyHz, m.PhaseDeg, ph, yDeg, true, pen);
    }
    const QPen live = PenOf(vs.SpecTraceColor, 1, palette);
    draw(Readings_.FrequencyHz, Readings_.MagnitudeDb, mag, yDb, false, live);
    draw(Readings_.FrequencyHz, Readings_.PhaseDeg, ph, yDeg, true, live);
    painter.setPen(text);
    for (const QRect& g : {mag, ph})
        painter.drawRect(g.adjusted(-1, -1, 0, 0));
}
