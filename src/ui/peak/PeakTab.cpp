// SPDX-License-Identifier: GPL-3.0-or-later
// The "Peak Frequency and Level" tab: construction, layout, chart painting and handlers.
#include "ui/peak/PeakTab.h"

#include "core/LevelMeters.h"
#include "core/LevelUnits.h"
#include "core/NumberText.h"
#include "files/AtomicFile.h"
#include "files/TraceFile.h"
#include "ui/WidgetNaming.h"
#include "ui/common/ViewMappingQt.h"
#include "ui/common/ViewPaintBox.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace {

// Text of a panel edit: `x` rounded to `decimals` places, in the shortest form.
QString RoundedText(double x, int decimals) {
    const double scale = std::pow(10.0, decimals);
    return QString::fromStdString(FormatGeneral(std::nearbyint(x * scale) / scale));
}

} // namespace

TPeakTab::TPeakTab(QWidget* page, MeasurementState& state, TPeakTabHooks hooks)
    : TViewTab(page, hooks.Common), State_(state), Hooks_(std::move(hooks)) {
    BuildControls();
    BuildPanel();
    BuildMenu();
    ApplyBackground();
    Relayout();
}

void TPeakTab::BuildControls() {
    PeakBack = Named<QFrame>(Page, "PeakBack");
    PeakBack->setAutoFillBackground(true);
    PaintPeak = new TViewPaintBox(Page, "PaintPeak");
    PaintPeak->installEventFilter(this);
    LPkPause = Named<QLabel>(Page, "LPkPause", "Paused");
    LPkPause->setVisible(false);
    LPkPause->installEventFilter(this);
    QFont bold = LPkPause->font();
    bold.setBold(true);
    LPkPause->setFont(bold);
}

void TPeakTab::BuildPanel() {
    PanelPeak = Named<QFrame>(Page, "PanelPeak");
    PanelPeak->setFrameShape(QFrame::Panel);
    PanelPeak->setFrameShadow(QFrame::Raised);
    PanelPeak->setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(PanelPeak);
    auto* form = new QFormLayout;
    EPkH = Named<QLineEdit>(PanelPeak, "EPkH");
    EPkL = Named<QLineEdit>(PanelPeak, "EPkL");
    CPeakF = Named<QCheckBox>(PanelPeak, "CPeakF", "Display Peak Frequency");
    EPkLH = Named<QLineEdit>(PanelPeak, "EPkLH");
    EPkLL = Named<QLineEdit>(PanelPeak, "EPkLL");
    CPeakL = Named<QCheckBox>(PanelPeak, "CPeakL", "Display Peak Level");
    EPkN = Named<QLineEdit>(PanelPeak, "EPkN");
    EPkTrg = Named<QLineEdit>(PanelPeak, "EPkTrg");
    form->addRow("Upper Frequency (Hz)", EPkH);
    form->addRow("Lower Frequency (Hz)", EPkL);
    form->addRow(CPeakF);
    form->addRow("Upper Level (dB)", EPkLH);
    form->addRow("Lower Level (dB)", EPkLL);
    form->addRow(CPeakL);
    form->addRow("Number of Data Points", EPkN);
    form->addRow(new QLabel("Change FFT Sample Length to change Time Resolution!", PanelPeak));
    form->addRow(new QLabel("Stop capturing to change!", PanelPeak));
    form->addRow("Trigger Level (dB)", EPkTrg);
    layout->addLayout(form);
    BPKOK = Named<QPushButton>(PanelPeak, "BPKOK", "OK");
    layout->addWidget(BPKOK);
    PanelPeak->hide();
    CPeakF->setChecked(Settings_.DrawFrequency);
    CPeakL->setChecked(Settings_.DrawLevel);
    EPkN->setText(QString::number(BufferSize()));

    for (QLineEdit* edit : {EPkH, EPkL, EPkLH, EPkLL, EPkN, EPkTrg})
        ConnectEdit(edit, [this](bool leaving) { EPkHChange(leaving); });
    connect(CPeakF, &QCheckBox::clicked, this, [this] { CPeakFClick(); });
    connect(CPeakL, &QCheckBox::clicked, this, [this] { CPeakLClick(); });
    connect(BPKOK, &QPushButton::clicked, this, [this] { BPKOKClick(); });
}

void TPeakTab::BuildMenu() {
    PopupPeak = new QMenu(Page);
    PopupPeak->setObjectName("PopupPeak");
    QMenu* colours = PopupPeak->addMenu("Colors");
    colours->setObjectName("Colors3");
    QMenu* grids = colours->addMenu("Grids");
    grids->setObjectName("Grids1");
    Grid3 = NamedAction(grids, "Grid3", "Frequency");
    Level1 = NamedAction(grids, "Level1", "Level");
    QMenu* traces = colours->addMenu("Traces");
    traces->setObjectName("Traces1");
    race2 = NamedAction(traces, "race2", "Frequency");
    Level2 = NamedAction(traces, "Level2", "Level");
    Background3 = NamedAction(colours, "Background3", "Background");
    ClearScreen1 = NamedAction(PopupPeak, "ClearScreen1", "Reset Screen");
    SetRange1 = NamedAction(PopupPeak, "SetRange1", "Set Range");
    SaveTracetoFile1 = NamedAction(PopupPeak, "SaveTracetoFile1", "Save Trace to File");

    const std::pair<QAction*, void (TPeakTab::*)()> items[] = {
        {Grid3, &TPeakTab::Grid3Click},
        {Level1, &TPeakTab::Level1Click},
        {race2, &TPeakTab::race2Click},
        {Level2, &TPeakTab::Level2Click},
        {Background3, &TPeakTab::Background3Click},
        {ClearScreen1, &TPeakTab::ClearScreen1Click},
        {SetRange1, &TPeakTab::SetRange1Click},
        {SaveTracetoFile1, &TPeakTab::SaveTracetoFile1Click}};
    for (const auto& [action, handler] : items)
        connect(action, &QAction::triggered, this,
                [this, handler = handler] { (this->*handler)(); });
    AttachPaintBox(
        PaintPeak, [this](QPainter& painter) { PaintPeakPaint(painter); }, PopupPeak);
}

void TPeakTab::Relayout() {
    const QRect area = Page->rect();
    PeakBack->setGeometry(area);
    PaintPeak->setGeometry(area);
    LPkPause->adjustSize();
    LPkPause->move(area.width() / 2 - LPkPause->width() / 2, area.height() / 2);
    PanelPeak->adjustSize();
    PanelPeak->move(std::max(0, (area.width() - PanelPeak->width()) / 2),
                    std::max(0, (area.height() - PanelPeak->height()) / 2));
    LPkPause->raise();
    PanelPeak->raise();
}

void TPeakTab::ApplyBackground() {
    const TColour back = Transparent_ ? TransparencyKeyColour : Settings_.BackColour;
    QPalette palette = PeakBack->palette();
    palette.setColor(QPalette::Window, ToQColor(back, Page->palette()));
    PeakBack->setPalette(palette);
}

void TPeakTab::SetTransparent(bool on) {
    Transparent_ = on;
    ApplyBackground();
}

bool TPeakTab::IsSampling() const {
    return Hooks_.Sampling && Hooks_.Sampling();
}

bool TPeakTab::Paused() const {
    return LPkPause->isVisibleTo(Page);
}

void TPeakTab::SamplingStart() {
    State_.PeakLogIndex = 0;
    State_.PeakLogWrapped = false;
    ClearScreen1Click();
    State_.PeakThreshold = Settings_.TriggerLevel;
}

bool TPeakTab::eventFilter(QObject* watched, QEvent* event) {
    if (watched == PaintPeak || watched == LPkPause) {
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            PaintPeakClick();
        else if (event->type() == QEvent::MouseButtonDblClick && watched == PaintPeak)
            SetRange1Click();
    }
    return TViewTab::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------
// Painting

void TPeakTab::PaintPeakPaint(QPainter& painter) {
    // The grids of the displays shown, the time axis and the readings once, then the traces over
    // all of them, so that no text hides a trace.
    if (Settings_.DrawFrequency)
        DrawGrid(painter, false);
    if (Settings_.DrawLevel)
        DrawGrid(painter, true);
    DrawTimeAxis(painter);
    if (Settings_.DrawFrequency)
        DrawTrace(painter, false);
    if (Settings_.DrawLevel)
        DrawTrace(painter, true);
}

TColour TPeakTab::ChartTextColour() const {
    const TColour back = Transparent_ ? TransparencyKeyColour : Settings_.BackColour;
    return ContrastingColour(back, PaletteLookup(Page->palette()));
}

void TPeakTab::DrawGrid(QPainter& painter, bool level) {
    const QPalette& palette = Page->palette();
    const int w = PaintPeak->width();
    const int h = PaintPeak->height();
    const QColor grid = ToQColor(level ? Settings_.LevelGridColour : Settings_.GridColour, palette);
    const QColor trace = ToQColor(level ? Settings_.LevelColour : Settings_.TraceColour, palette);
    const double lower = level ? Settings_.LevelLower : Settings_.FrequencyLower;
    const double upper = level ? Settings_.LevelUpper : Settings_.FrequencyUpper;
    const QFontMetrics metrics = painter.fontMetrics();
    painter.setBrush(Qt::NoBrush);

    // Frame along the chart's edges.
    painter.setPen(QPen(grid, 1));
    painter.drawRect(0, 0, w - 1, h - 1);

    // Value grid: lines across the chart with their values just below them.
    for (const double value : PeakGridValues(lower, upper)) {
        const int y = PeakValueToY(value, lower, upper, h);
        if (y <= 0)
            continue;
        painter.setPen(QPen(grid, 1));
        painter.drawLine(0, Limited(y), w - 1, Limited(y));
        const QString text =
            QString::fromStdString(EngineeringText(value) + (level ? AxisUnitText(State_) : "Hz"));
        painter.setPen(trace);
        const QRect box(2, Limited(y + 1), w - 4, metrics.height());
        painter.drawText(box, (level ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop, text);
    }
}

void TPeakTab::DrawTimeAxis(QPainter& painter) {
    const QPalette& palette = Page->palette();
    const int w = PaintPeak->width();
    const int h = PaintPeak->height();
    const QFontMetrics metrics = painter.fontMetrics();
    // Lines in the grid colour of the first display shown; texts in black or white, whichever
    // stands out from the background.
    const TColour lines = Settings_.DrawFrequency || !Settings_.DrawLevel
                              ? Settings_.GridColour
                              : Settings_.LevelGridColour;
    const QColor text = ToQColor(ChartTextColour(), palette);

    // Lines back in time with their seconds at the bottom.
    const TPeakTimeAxis axis = PeakTimeAxis(BufferSize(), State_.BlockLength, State_.SampleRate);
    for (const double t : axis.Ticks) {
        const int x = PeakTimeToX(t, axis.Span, w);
        painter.setPen(ToQColor(lines, palette));
        painter.drawLine(Limited(x), 0, Limited(x), h - 1);
        if (t < axis.Span) {
            painter.setPen(text);
            painter.drawText(QPoint(Limited(x + 2), h - 2 - metrics.descent()),
                             "-" + QString::fromStdString(EngineeringText(t)) + "s");
        }
    }
    painter.setPen(text);
    painter.drawText(QRect(0, 0, w - 2, h - 2), Qt::AlignRight | Qt::AlignBottom, "0");

    // Along the top: the current level, the current peak frequency and the time resolution.
    const TPeakReadings readings = PeakChartReadings(State_);
    const QRect top(0, 1, w - 2, metrics.height());
    painter.drawText(top.adjusted(80, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                     QString::fromStdString(readings.Level));
    painter.drawText(top, Qt::AlignHCenter | Qt::AlignTop,
                     QString::fromStdString(readings.Frequency));
    painter.drawText(top, Qt::AlignRight | Qt::AlignTop,
                     QString::fromStdString(axis.ResolutionText));
}

void TPeakTab::DrawTrace(QPainter& painter, bool level) {
    const QColor trace =
        ToQColor(level ? Settings_.LevelColour : Settings_.TraceColour, Page->palette());
    const double lower = level ? Settings_.LevelLower : Settings_.FrequencyLower;
    const double upper = level ? Settings_.LevelUpper : Settings_.FrequencyUpper;
    // The recorded points over the ring, newest at the right edge.
    const std::vector<TPeakPixel> pixels =
        PeakTracePixels(State_.PeakLog, State_.PeakLogIndex, State_.PeakLogWrapped, level, lower,
                        upper, PaintPeak->width(), PaintPeak->height());
    QPolygon polygon;
    polygon.reserve(static_cast<int>(pixels.size()));
    for (const TPeakPixel& pixel : pixels)
        polygon << QPoint(Limited(pixel.X), Limited(pixel.Y));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(trace, 1));
    if (polygon.size() == 1)
        painter.drawPoint(polygon.front());
    else
        painter.drawPolyline(polygon);
}

// ---------------------------------------------------------------------------------------------
// Handlers

void TPeakTab::PaintPeakClick() {
    if (!IsSampling())
        return;
    const bool pause = !Paused();
    LPkPause->setVisible(pause);
    State_.PeakThreshold = pause ? PausedThreshold : Settings_.TriggerLevel;
}

void TPeakTab::PickColour(TColour& colour) {
    if (const auto chosen = ChooseColour(colour)) {
        colour = *chosen;
        ApplyBackground();
        PaintPeak->update();
    }
}

void TPeakTab::Grid3Click() {
    PickColour(Settings_.GridColour);
}
void TPeakTab::Level1Click() {
    PickColour(Settings_.LevelGridColour);
}
void TPeakTab::race2Click() {
    PickColour(Settings_.TraceColour);
}
void TPeakTab::Level2Click() {
    PickColour(Settings_.LevelColour);
}
void TPeakTab::Background3Click() {
    PickColour(Settings_.BackColour);
}

void TPeakTab::ClearScreen1Click() {
    ClearPeakLog(State_.PeakLog, State_.PeakLogIndex, State_.PeakLogWrapped);
    PaintPeak->update();
}

void TPeakTab::SetRange1Click() {
    Filling_ = true;
    EPkH->setText(RoundedText(Settings_.FrequencyUpper, 3));
    EPkL->setText(RoundedText(Settings_.FrequencyLower, 3));
    EPkLH->setText(RoundedText(Settings_.LevelUpper, 4));
    EPkLL->setText(RoundedText(Settings_.LevelLower, 4));
    EPkTrg->setText(RoundedText(Settings_.TriggerLevel, 4));
    EPkN->setText(QString::number(BufferSize()));
    Filling_ = false;
    EPkN->setEnabled(!IsSampling());
    Relayout();
    PanelPeak->show();
    PanelPeak->raise();
}

void TPeakTab::BPKOKClick() {
    EPkHChange(true);
    PanelPeak->hide();
    PaintPeak->update();
}

void TPeakTab::EPkHChange(bool leaving) {
    if (Filling_)
        return;
    const TPeakRangeTexts texts{EPkH->text().toStdString(),  EPkL->text().toStdString(),
                                EPkLH->text().toStdString(), EPkLL->text().toStdString(),
                                EPkN->text().toStdString(),  EPkTrg->text().toStdString()};
    TPeakRangeResult result;
    if (!ApplyPeakRange(texts, Settings_, result))
        return;
    if (!Paused())
        State_.PeakThreshold = Settings_.TriggerLevel;
    if (leaving && result.Capacity && *result.Capacity != BufferSize() && !IsSampling())
        ApplyBufferSize(*result.Capacity);
    PaintPeak->update();
}

void TPeakTab::CPeakFClick() {
    Settings_.DrawFrequency = CPeakF->isChecked();
    PaintPeak->update();
}

void TPeakTab::CPeakLClick() {
    Settings_.DrawLevel = CPeakL->isChecked();
    PaintPeak->update();
}

void TPeakTab::SaveTracetoFile1Click() {
    std::optional<std::string> path;
    if (Hooks_.ChooseTraceFile) {
        path = Hooks_.ChooseTraceFile();
    } else {
        // Text (time, frequency, level per line) or CSV, by the type chosen or the extension.
        const QString types = "Text files (*.txt *.dat);;CSV files (*.csv);;All files (*)";
        QFileDialog dialog(Page, "Save Trace to File");
        dialog.setObjectName("SaveDat");
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilters(types.split(";;"));
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            path = NameWithTypeExtension(dialog.selectedFiles().front().toStdString(),
                                         dialog.selectedNameFilter().toStdString(),
                                         types.toStdString());
    }
    if (!path || path->empty())
        return;
    try {
        SavePeakTrace(*path, State_.PeakLog, State_.PeakLogIndex, State_.PeakLogWrapped,
                      State_.BlockLength / State_.SampleRate);
    } catch (const EFileWriteError& error) {
        ReportError(error.what());
    }
}

// ---------------------------------------------------------------------------------------------
// Settings

bool TPeakTab::ApplyBufferSize(long long points) {
    try {
        ResizePeakLog(State_.PeakLog, State_.PeakLogIndex, State_.PeakLogWrapped, points);
    } catch (const EPeakCapacityError& error) {
        EPkN->setText(QString::number(BufferSize()));
        ReportError(error.what());
        return false;
    }
    EPkN->setText(QString::number(BufferSize()));
    PaintPeak->update();
    return true;
}

void TPeakTab::ApplyTriggerLevel(double db) {
    Settings_.TriggerLevel = db;
    if (!Paused())
        State_.PeakThreshold = db;
}

void TPeakTab::ApplyFrequencyLower(double hz) {
    Settings_.FrequencyLower = hz;
    PaintPeak->update();
}

void TPeakTab::ApplyFrequencyUpper(double hz) {
    Settings_.FrequencyUpper = hz;
    PaintPeak->update();
}

void TPeakTab::ApplyLevelLower(double db) {
    Settings_.LevelLower = db;
    PaintPeak->update();
}

void TPeakTab::ApplyLevelUpper(double db) {
    Settings_.LevelUpper = db;
    PaintPeak->update();
}

void TPeakTab::ApplyDrawFrequency(bool on) {
    CPeakF->setChecked(on);
    CPeakFClick();
}

void TPeakTab::ApplyDrawLevel(bool on) {
    CPeakL->setChecked(on);
    CPeakLClick();
}

void TPeakTab::ApplyTraceColour(TColour colour) {
    Settings_.TraceColour = colour;
    PaintPeak->update();
}

void TPeakTab::ApplyGridColour(TColour colour) {
    Settings_.GridColour = colour;
    PaintPeak->update();
}

void TPeakTab::ApplyBackColour(TColour colour) {
    Settings_.BackColour = colour;
    ApplyBackground();
    PaintPeak->update();
}

void TPeakTab::ApplyLevelColour(TColour colour) {
    Settings_.LevelColour = colour;
    PaintPeak->update();
}

void TPeakTab::ApplyLevelGridColour(TColour colour) {
    Settings_.LevelGridColour = colour;
    PaintPeak->update();
}
