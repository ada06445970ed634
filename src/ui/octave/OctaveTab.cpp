// SPDX-License-Identifier: GPL-3.0-or-later
// The "Octave Bands" tab: fractional-octave band levels as bars with peak hold and Leq.
#include "ui/octave/OctaveTab.h"

#include "analysis/OctaveCsv.h"
#include "core/MeasurementState.h"
#include "core/NumberText.h"
#include "files/AtomicFile.h"
#include "ui/WidgetNaming.h"
#include "ui/common/InstrumentRows.h"
#include "ui/common/LevelScale.h"
#include "ui/common/ViewMappingQt.h"
#include "ui/common/ViewPaintBox.h"
#include "ui/common/ViewSettings.h"

#include "core/LevelUnits.h"
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

// Band names are shown for every k-th band, k the first of these that leaves room.
constexpr int kNameSteps[] = {1, 2, 3, 4, 6, 8, 12, 24, 48, 96};

QString Db(double db) {
    return QString::number(db, 'f', 1);
}

} // namespace

TOctaveTab::TOctaveTab(TInstrumentHost& host) : TInstrumentTab(host, "Octave Bands", "TabOctave") {
    Analyser_.WindowKind = [&host] { return host.State().WindowKind; };
    Analyser_.SetActive(false);

    auto* layout = new QVBoxLayout(Page);
    auto* controls = new QHBoxLayout;
    COctBands = Named<QComboBox>(Page, "COctBands");
    COctBands->addItems({"1/1 octave", "1/3 octave", "1/6 octave", "1/12 octave", "1/24 octave"});
    COctBands->setCurrentIndex(1);
    COctTime = Named<QComboBox>(Page, "COctTime");
    COctTime->addItems({"Fast (0.125 s)", "Slow (1 s)"});
    EOctTop = Named<QLineEdit>(Page, "EOctTop", "0");
    EOctSpan = Named<QLineEdit>(Page, "EOctSpan", "100");
    for (QLineEdit* edit : {EOctTop, EOctSpan})
        edit->setMaximumWidth(70);
    BOctReset = Named<QPushButton>(Page, "BOctReset", "Reset");
    BOctSave = Named<QPushButton>(Page, "BOctSave", "Save CSV ...");
    controls->addWidget(COctBands);
    controls->addWidget(COctTime);
    controls->addWidget(new QLabel("Top", Page));
    controls->addWidget(EOctTop);
    controls->addWidget(new QLabel("dB   Span", Page));
    controls->addWidget(EOctSpan);
    controls->addWidget(new QLabel("dB", Page));
    controls->addWidget(BOctReset);
    controls->addWidget(BOctSave);
    controls->addStretch(1);
    layout->addLayout(controls);
    auto* labels = new QHBoxLayout;
    LOctInfo = Named<QLabel>(Page, "LOctInfo");
    LOctCursor = Named<QLabel>(Page, "LOctCursor");
    labels->addWidget(LOctInfo);
    labels->addSpacing(12);
    labels->addWidget(LOctCursor, 1);
    layout->addLayout(labels);
    PaintOct = new TViewPaintBox(Page, "PaintOct");
    PaintOct->setMouseTracking(true);
    layout->addWidget(PaintOct, 1);
    AttachPaintBox(
        PaintOct, [this](QPainter& painter) { Paint(painter); }, nullptr);
    PaintOct->OnMouseMove = [this](QMouseEvent* e) {
        ShowCursor(static_cast<int>(e->position().x()));
    };
    PaintOct->OnMouseDown = PaintOct->OnMouseMove;

    connect(COctBands, &QComboBox::currentIndexChanged, this, [this] { COctBandsChange(); });
    connect(COctTime, &QComboBox::currentIndexChanged, this, [this] { COctTimeChange(); });
    ConnectEdit(EOctTop, [this](bool leaving) { ApplyEdit(EOctTop, leaving); });
    ConnectEdit(EOctSpan, [this](bool leaving) { ApplyEdit(EOctSpan, leaving); });
    connect(BOctReset, &QPushButton::clicked, this, [this] { BOctResetClick(); });
    connect(BOctSave, &QPushButton::clicked, this, [this] { BOctSaveClick(); });
    COctBandsChange();
    COctTimeChange();
}

std::vector<TSettingsRow> TOctaveTab::SettingsRows() {
    return {ComboRow("OctBands=", COctBands), ComboRow("OctTime=", COctTime),
            EditRow(
                "OctTop=", EOctTop, [this] { ApplyEdit(EOctTop, true); }, "-10"),
            EditRow(
                "OctSpan=", EOctSpan, [this] { ApplyEdit(EOctSpan, true); }, "80")};
}

double TOctaveTab::OffsetDb() const {
    const MeasurementState& st = Host.State();
    return st.YOffset - DisplayRefLevel(st); // as the spectrum's trace is shown
}

// ---------------------------------------------------------------------------------------------
// Handlers

void TOctaveTab::COctBandsChange() {
    const int item = std::clamp(COctBands->currentIndex(), 0, 4);
    Analyser_.SetFraction(OctaveFractions[item]);
    Refresh();
}

void TOctaveTab::COctTimeChange() {
    Analyser_.SetTimeConstant(TimeConstants[std::clamp(COctTime->currentIndex(), 0, 1)]);
}

bool TOctaveTab::ApplyEdit(QLineEdit* edit, bool leaving) {
    const bool top = edit == EOctTop;
    const bool applied =
        EditChanged([this, top] { top ? EOctTopChange() : EOctSpanChange(); }, leaving);
    if (!applied && leaving)
        edit->setText(QString::fromStdString(FormatGeneral(top ? TopDb_ : SpanDb_)));
    return applied;
}

void TOctaveTab::EOctTopChange() {
    TopDb_ = NumberOrThrow(EOctTop->text().toStdString());
    PaintOct->update();
}

void TOctaveTab::EOctSpanChange() {
    const std::string text = EOctSpan->text().toStdString();
    const double span = NumberOrThrow(text);
    if (!(span >= 1.0 && span <= 1000.0))
        throw EConvertError("'" + text + "' is not a span from 1 to 1000 dB");
    SpanDb_ = span;
    PaintOct->update();
}

void TOctaveTab::BOctResetClick() {
    Analyser_.ResetReadings();
    Refresh();
}

void TOctaveTab::BOctSaveClick() {
    const TOctaveReadings readings = Analyser_.Readings();
    if (Folder_.isEmpty())
        Folder_ = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QString path = ChooseCsvFile ? ChooseCsvFile()
                                 : QFileDialog::getSaveFileName(Page, "Save the band levels",
                                                                Folder_, "CSV file (*.csv)");
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += ".csv";
    try {
        WriteOctaveCsv(path.toStdString(), readings, OffsetDb());
        Folder_ = QFileInfo(path).absolutePath();
    } catch (const EFileWriteError& e) {
        Host.ShowMessage(QString::fromStdString(e.what()));
    }
}

void TOctaveTab::PageShown() {
    TInstrumentTab::PageShown();
    Analyser_.SetActive(true);
}

void TOctaveTab::PageHidden() {
    TInstrumentTab::PageHidden();
    Analyser_.SetActive(false);
}

void TOctaveTab::Refresh() {
    const MeasurementState& st = Host.State();
    Analyser_.Prepare(st.SampleRate, st.BlockLength);
    const std::int64_t blocks = Readings_.Blocks;
    const bool sameBands = Readings_.Bands.size() == Analyser_.Readings().Bands.size();
    Readings_ = Analyser_.Readings();
    LOctInfo->setText(QString("1/%1 octave, Leq over %2 s")
                          .arg(Readings_.Fraction)
                          .arg(QString::number(Readings_.Seconds, 'f', 1)));
    if (blocks == Readings_.Blocks && sameBands && blocks != 0)
        return;
    PaintOct->update();
    if (CursorX_)
        ShowCursor(*CursorX_);
}

// ---------------------------------------------------------------------------------------------
// Painting and read-out

QRect TOctaveTab::GraphRect() const {
    const QFontMetrics fm = PaintOct->fontMetrics();
    const int left = fm.horizontalAdvance("-000 dB") + 6;
    const int above = fm.height() / 2 + 1;
    const int below = fm.height() + 4;
    return QRect(left, above, std::max(0, PaintOct->width() - left - 4),
                 std::max(0, PaintOct->height() - above - below));
}

int TOctaveTab::DbToY(double shownDb, int height) const {
    const double y = (height - 1) * (TopDb_ - shownDb) / SpanDb_;
    return static_cast<int>(std::lround(std::clamp(y, -1.0, static_cast<double>(height))));
}

std::optional<std::size_t> TOctaveTab::BandAt(int x) const {
    const QRect graph = GraphRect();
    const std::size_t count = Readings_.Bands.size();
    if (count == 0 || x < 0 || x >= graph.width())
        return std::nullopt;
    return std::min(count - 1,
                    static_cast<std::size_t>(x * static_cast<double>(count) / graph.width()));
}

QString TOctaveTab::BandText(std::size_t i) const {
    if (i >= Readings_.Bands.size())
        return {};
    const TOctaveBandReading& b = Readings_.Bands[i];
    const QString band =
        QString("%1 Hz (%2 ... %3 Hz)")
            .arg(QString::fromStdString(OctaveBandName(Readings_.Fraction, b.Band)))
            .arg(QString::number(b.Band.LoHz, 'f', 1))
            .arg(QString::number(b.Band.HiHz, 'f', 1));
    if (!b.Resolved)
        return band + QString(": not resolved, needs N = %1")
                          .arg(BandNeedsLength(b.Band, Readings_.SampleRate));
    if (Readings_.Blocks == 0)
        return band;
    const double offset = OffsetDb();
    return band + QString(": %1 dB, peak %2 dB, Leq %3 dB")
                      .arg(Db(b.LevelDb + offset), Db(b.PeakDb + offset), Db(b.LeqDb + offset));
}

void TOctaveTab::ShowCursor(int boxX) {
    CursorX_ = boxX;
    const auto band = BandAt(boxX - GraphRect().x());
    LOctCursor->setText(band ? BandText(*band) : QString());
}

void TOctaveTab::Paint(QPainter& painter) {
    const QPalette& palette = PaintOct->palette();
    painter.fillRect(PaintOct->rect(), palette.window());
    const QRect graph = GraphRect();
    if (graph.width() <= 0 || graph.height() <= 0)
        return;
    const TViewSettings& vs = Host.ViewSettings();
    painter.fillRect(graph, ToQColor(vs.SpecBackColor, palette));
    const QFontMetrics fm = painter.fontMetrics();
    const QColor text = palette.windowText().color();

    // Level lines and their captions.
    const QPen gridPen = PenOf(vs.SpecGridColor, vs.GridWidth, palette);
    for (const TLevelMark& mark : LevelMarks(TopDb_, SpanDb_, graph.height(), 2 * fm.height())) {
        const int y = graph.top() + mark.Y;
        painter.setPen(gridPen);
        painter.drawLine(graph.left(), y, graph.right(), y);
        painter.setPen(text);
        const QString caption = QString::fromStdString(FormatGeneral(mark.Db)) + " dB";
        painter.drawText(graph.left() - 4 - fm.horizontalAdvance(caption), y + fm.ascent() / 2 - 1,
                         caption);
    }

    // The bars: level, peak hold (red), Leq (black); unresolved bands hatched.
    const std::size_t count = Readings_.Bands.size();
    if (count == 0)
        return;
    const double slot = static_cast<double>(graph.width()) / count;
    const double offset = OffsetDb();
    const QColor barColour = ToQColor(vs.SpecTraceColor, palette);
    // Every k-th name, k a divisor or a multiple of b (so that whole octaves keep their names).
    const int fraction = Readings_.Fraction;
    int nameStep = kNameSteps[std::size(kNameSteps) - 1];
    for (const int k : kNameSteps)
        if ((fraction % k == 0 || k % fraction == 0) &&
            k * slot >= fm.horizontalAdvance("12.5k") + 6) {
            nameStep = k;
            break;
        }
    for (std::size_t i = 0; i < count; ++i) {
        const TOctaveBandReading& b = Readings_.Bands[i];
        const int left = graph.left() + static_cast<int>(std::lround(i * slot));
        const int right = graph.left() + static_cast<int>(std::lround((i + 1) * slot));
        const int width = std::max(1, right - left - (slot >= 4.0 ? 1 : 0));
        if (!b.Resolved) {
            painter.fillRect(QRect(left, graph.top(), width, graph.height()),
                             QBrush(Qt::gray, Qt::BDiagPattern));
        } else if (Readings_.Blocks > 0) {
            const int y = DbToY(b.LevelDb + offset, graph.height());
            if (y < graph.height())
                painter.fillRect(QRect(left, graph.top() + std::max(y, 0), width,
                                       graph.height() - std::max(y, 0)),
                                 barColour);
            const int peak = DbToY(b.PeakDb + offset, graph.height());
            const int leq = DbToY(b.LeqDb + offset, graph.height());
            if (peak >= 0 && peak < graph.height())
                painter.fillRect(QRect(left, graph.top() + peak - 1, width, 2), Qt::red);
            if (leq >= 0 && leq < graph.height())
                painter.fillRect(QRect(left, graph.top() + leq - 1, width, 2), Qt::black);
        }
        if (((b.Band.Index % nameStep) + nameStep) % nameStep == 0) {
            const QString name = QString::fromStdString(OctaveBandName(Readings_.Fraction, b.Band));
            const int middle = (left + right) / 2;
            painter.setPen(text);
            painter.drawLine(middle, graph.bottom() + 1, middle, graph.bottom() + 3);
            painter.drawText(middle - fm.horizontalAdvance(name) / 2,
                             graph.bottom() + 3 + fm.ascent(), name);
        }
    }
    painter.setPen(text);
    painter.drawRect(graph.adjusted(-1, -1, 0, 0));
}
