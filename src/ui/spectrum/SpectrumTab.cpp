// SPDX-License-Identifier: GPL-3.0-or-later
// The "Spectrum" tab: construction of its controls and menus, its layout and its handlers.
#include "ui/spectrum/SpectrumTab.h"

#include "ui/CheckedEdit.h"

#include "core/LevelUnits.h"
#include "core/NumberText.h"
#include "ui/common/ViewMappingQt.h"
#include "ui/common/ViewPaintBox.h"

#include <QAction>
#include <QEvent>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {

constexpr int kMarkWidth = 2;       // pixels of a band-edge mark
constexpr int kOutsideMargin = 60;  // graph left edge with the dB markings outside
constexpr int kFrequencyStrip = 16; // pixels below the graph for the frequency markings

template <typename Widget, typename... Args>
Widget* Named(QWidget* parent, const char* name, Args&&... args) {
    auto* widget = new Widget(std::forward<Args>(args)..., parent);
    widget->setObjectName(name);
    return widget;
}

QAction* NamedAction(QObject* parent, const char* name, const QString& caption, bool checkable) {
    auto* action = new QAction(caption, parent);
    action->setObjectName(name);
    action->setCheckable(checkable);
    return action;
}

// The graph paints all of its own pixels while SpecBack shows an opaque colour under it: then
// the page, SpecBack and the caption strip are not painted again under it on every frame. In
// the transparent mode (SpecBack may be a hole to the desktop) and without SpecBack (the white
// screenshot) they are.
void UpdateGraphOpacity(TSpectrumTab& tab, bool transparentMode) {
    tab.PaintBox2->setAttribute(Qt::WA_OpaquePaintEvent,
                                !transparentMode && !tab.SpecBack->isHidden());
}

// What the widgets below show through the opaque graph: SpecBack's colour and the caption
// strip's markings inside the graph, in graph pixels.
void PaintGraphBackground(TSpectrumTab& tab, QPainter& painter) {
    painter.fillRect(tab.PaintBox2->rect(), tab.SpecBack->palette().color(QPalette::Window));
    painter.save();
    painter.translate(tab.PaintSpecCap->pos() - tab.PaintBox2->pos());
    tab.PaintSpecCapPaint(painter);
    painter.restore();
}

} // namespace

TSpectrumTab::TSpectrumTab(QWidget* page, MeasurementState& state, TViewSettings& settings,
                           TSpectrumTabHooks hooks)
    : TViewTab(page, {}), State_(state), Settings_(settings), Hooks_(std::move(hooks)) {
    BuildControls();
    BuildMenus();
    BuildSettingsGroup();
    Connect();
    ApplyControlsFromSettings();
    Relayout();
}

TSpectrumTab::~TSpectrumTab() = default;

void TSpectrumTab::BuildControls() {
    // Stacking order, bottom to top: the background shape, the caption strip (transparent, so
    // dB markings inside the graph show over the background), the graph, then marks and labels.
    SpecBack = Named<QFrame>(Page, "SpecBack");
    SpecBack->setAutoFillBackground(true);
    PaintSpecCap = new TViewPaintBox(Page, "PaintSpecCap");
    PaintBox2 = new TViewPaintBox(Page, "PaintBox2");
    Shape1 = Named<QFrame>(Page, "Shape1");
    Shape2 = Named<QFrame>(Page, "Shape2");
    for (QFrame* mark : {Shape1, Shape2}) {
        mark->setAutoFillBackground(true);
        mark->resize(kMarkWidth, 0);
    }
    LBW = Named<QLabel>(Page, "LBW", " BW = 0 Hz");
    L_L = Named<QLabel>(Page, "L_L", "");
    L_U = Named<QLabel>(Page, "L_U", "");
    LSN = Named<QLabel>(Page, "LSN", QString::fromStdString(State_.Texts.LSN));
    LS = Named<QLabel>(Page, "LS", QString::fromStdString(State_.Texts.LS));
    LSp = Named<QLabel>(Page, "LSp", QString::fromStdString(State_.Texts.LSp));
    QFont meterFont = Page->font();
    meterFont.setPointSize(DefaultMeterFontSize);
    meterFont.setBold(true);
    const std::pair<QLabel*, TColour> meters[] = {
        {LSN, RedColour}, {LS, OliveColour}, {LSp, OliveColour}};
    for (const auto& [meter, colour] : meters) {
        meter->setFont(meterFont);
        QPalette palette = meter->palette();
        palette.setColor(QPalette::WindowText, ToQColor(colour, palette));
        meter->setPalette(palette);
        meter->installEventFilter(this);
    }
    LSp->setVisible(State_.SpecialMeter != 3);
}

void TSpectrumTab::BuildMenus() {
    LogF = NamedAction(Page, "LogF", "Log Frequency Scale", true);
    LogXG = NamedAction(Page, "LogXG", "ShowFrequency Grid", true);
    LogXS = NamedAction(Page, "LogXS", "Log Grid Subticks On", true);
    CGCi = NamedAction(Page, "CGCi", "inside graph", true);
    CGCo = NamedAction(Page, "CGCo", "outside graph", true);
    CGCoff = NamedAction(Page, "CGCoff", "none", false);
    CFC = NamedAction(Page, "CFC", "Frequency Markings", true);
    CheckZoom = NamedAction(Page, "CheckZoom", "Zoom", true);
    BW = NamedAction(Page, "BW", "Bandwidth Lines", true);

    PopupSpec = new QMenu(Page);
    PopupSpec->setObjectName("PopupSpec");
    Zoom1 = NamedAction(PopupSpec, "Zoom1", "Zoom", true);
    PopupSpec->addAction(Zoom1);
    auto* colours = PopupSpec->addMenu("Colors");
    colours->setObjectName("Colors2");
    Grid2 = NamedAction(colours, "Grid2", "Grid", false);
    BackGround2 = NamedAction(colours, "BackGround2", "BackGround", false);
    Spectrum1 = NamedAction(colours, "Spectrum1", "Spectrum", false);
    colours->addActions({Grid2, BackGround2, Spectrum1});
    Redrawwiththicklines1 =
        NamedAction(PopupSpec, "Redrawwiththicklines1", "Redraw with thick lines", false);
    Reset1 = NamedAction(PopupSpec, "Reset1", "Reset", false);
    Reset1->setShortcut(QKeySequence(Qt::Key_R));
    Reset1->setShortcutContext(Qt::WidgetShortcut); // the window's key handler owns "r"
    PopupSpec->addAction(Redrawwiththicklines1);
    PopupSpec->addAction(Reset1);
}

void TSpectrumTab::AddMenuItems(QMenu* menu) {
    menu->addAction(LogF);
    menu->addAction(LogXG);
    menu->addAction(LogXS);
    auto* markings = menu->addMenu("dB Markings");
    markings->setObjectName("DbMarkings1");
    markings->addActions({CGCi, CGCo, CGCoff});
    menu->addAction(CFC);
    menu->addAction(CheckZoom);
    menu->addAction(BW);
}

void TSpectrumTab::BuildSettingsGroup() {
    SpecAxisGroup = Named<QGroupBox>(Page, "SpecAxisGroup", "Spectrum Display");
    SpecAxisGroup->hide(); // shown where the window puts it (its settings page)
    auto* form = new QFormLayout(SpecAxisGroup);
    ETop = Named<QLineEdit>(SpecAxisGroup, "ETop");
    form->addRow("Y Maximum", ETop);
    auto* span = new QHBoxLayout;
    EBoxes = Named<QLineEdit>(SpecAxisGroup, "EBoxes");
    span->addWidget(EBoxes);
    span->addWidget(new QLabel("x 10dB", SpecAxisGroup));
    form->addRow("Y Span", span);
    EOffset = Named<QLineEdit>(SpecAxisGroup, "EOffset");
    form->addRow("Y Offset", EOffset);
}

void TSpectrumTab::Connect() {
    ConnectClick(this, LogF, [this] { LogFClick(); });
    ConnectClick(this, LogXG, [this] { LogXGClick(); });
    ConnectClick(this, LogXS, [this] { LogXSClick(); });
    ConnectClick(this, CGCi, [this] { CGCiClick(); });
    ConnectClick(this, CGCo, [this] { CGCoClick(); });
    ConnectClick(this, CGCoff, [this] { CGCoffClick(); });
    ConnectClick(this, CFC, [this] { CFCClick(); });
    ConnectClick(this, CheckZoom, [this] { CheckZoomClick(); });
    ConnectClick(this, Zoom1, [this] { CheckZoomClick(); });
    ConnectClick(this, BW, [this] { BWClick(); });
    ConnectClick(this, Grid2, [this] { Grid2Click(); });
    ConnectClick(this, BackGround2, [this] { BackGround2Click(); });
    ConnectClick(this, Spectrum1, [this] { Spectrum1Click(); });
    ConnectClick(this, Redrawwiththicklines1, [this] { Redrawwiththicklines1Click(); });
    ConnectClick(this, Reset1, [this] { Reset1Click(); });

    const std::pair<QLineEdit*, void (TSpectrumTab::*)()> edits[] = {
        {ETop, &TSpectrumTab::ETopChange},
        {EBoxes, &TSpectrumTab::EBoxesChange},
        {EOffset, &TSpectrumTab::EOffsetChange}};
    for (const auto& [edit, handler] : edits) {
        const auto run = [this, handler = handler] { (this->*handler)(); };
        connect(edit, &QLineEdit::textEdited, this, [this, run] { EditChanged(run, false); });
        // Every exit checks the edit; a non-number is reported, and the edit keeps the focus.
        CheckOnExit(edit, [this, run] { return EditChanged(run, true); }, {});
    }

    AttachPaintBox(
        PaintBox2,
        [this](QPainter& painter) {
            if (PaintBox2->testAttribute(Qt::WA_OpaquePaintEvent))
                PaintOpaqueGraph(painter);
            else
                PaintBox2Paint(painter);
        },
        PopupSpec);
    SpecBack->installEventFilter(this); // shown or hidden: the graph's opacity follows
    AttachPaintBox(
        PaintSpecCap, [this](QPainter& painter) { PaintSpecCapPaint(painter); }, PopupSpec);
}

void TSpectrumTab::ApplyControlsFromSettings() {
    LogF->setChecked(State_.Controls.LogF);
    LogXG->setChecked(Settings_.LogGrid);
    LogXS->setChecked(Settings_.LogSubGrid);
    CGCi->setChecked(Settings_.Markings == 1);
    CGCo->setChecked(Settings_.Markings == 2);
    CFC->setChecked(Settings_.FMarkings);
    CheckZoom->setChecked(Settings_.Zoom);
    Zoom1->setChecked(Settings_.Zoom);
    BW->setChecked(Settings_.BandLines);
    ETop->setText(QString::fromStdString(FormatGeneral(Settings_.YTop)));
    EBoxes->setText(QString::number(Settings_.Boxes));
    EOffset->setText(QString::fromStdString(FormatGeneral(State_.YOffset)));
}

TSpectrumAxis TSpectrumTab::Axis() const {
    TSpectrumAxis axis;
    axis.Width = PaintBox2->width();
    axis.Height = PaintBox2->height();
    axis.Log = State_.Controls.LogF;
    const TFrequencyRange range =
        SpectrumFrequencyRange(axis.Log, Settings_.Zoom, State_.SampleRate, State_.BlockLength,
                               State_.Controls.TrackL, State_.Controls.TrackU);
    axis.FMin = range.Min;
    axis.FMax = range.Max;
    axis.YTop = Settings_.YTop;
    axis.Boxes = EffectiveBoxes(Settings_.Boxes);
    axis.RefLevel = DisplayRefLevel(State_); // the trace reads in AxisUnitText
    axis.YOffset = State_.YOffset;
    return axis;
}

void TSpectrumTab::Relayout() {
    const QRect area = Page->rect();
    LBW->adjustSize();
    const int strip = LBW->height();
    const int left = Settings_.Markings == 2 ? kOutsideMargin : 0;
    const int below = Settings_.FMarkings ? kFrequencyStrip : 0;
    PaintBox2->setGeometry(left, strip, std::max(0, area.width() - left),
                           std::max(0, area.height() - strip - below));
    PaintSpecCap->setGeometry(area);

    // Meter labels stacked at the top right of the graph, each 5/4 of the previous visible
    // label's height below it.
    int widest = 0;
    for (QLabel* meter : {LSN, LS, LSp}) {
        meter->adjustSize();
        if (!meter->isHidden())
            widest = std::max(widest, meter->width());
    }
    const int meterLeft = PaintBox2->x() + PaintBox2->width() - 5 - widest;
    int top = PaintBox2->y() + 12;
    for (QLabel* meter : {LSN, LS, LSp}) {
        meter->move(meterLeft, top);
        if (!meter->isHidden())
            top += meter->height() * 5 / 4;
    }

    SpecBack->setGeometry(PaintBox2->geometry());
    ApplyBackground();
    PlaceBandMarks();
    ApplyBandMarkVisibility();
    if (Hooks_.PlaceOverlays)
        Hooks_.PlaceOverlays();
    Invalidate();
}

void TSpectrumTab::ApplyBackground() {
    UpdateGraphOpacity(*this, Settings_.TransparentMode);
    const TColour back =
        Settings_.TransparentMode ? TransparencyKeyColour : Settings_.SpecBackColor;
    QPalette palette = SpecBack->palette();
    palette.setColor(QPalette::Window, ToQColor(back, Page->palette()));
    SpecBack->setPalette(palette);
    for (QFrame* mark : {Shape1, Shape2}) {
        QPalette markPalette = mark->palette();
        markPalette.setColor(QPalette::Window, ToQColor(Settings_.SpecGridColor, Page->palette()));
        mark->setPalette(markPalette);
    }
}

void TSpectrumTab::PlaceBandMarks() {
    const TSpectrumAxis axis = Axis();
    const QRect graph = PaintBox2->geometry();
    const int cutOn = State_.Controls.TrackL;
    const int cutOff = State_.Controls.TrackU;
    if (!BandMarkDragging) {
        const int height = graph.y() + graph.height();
        Shape1->setGeometry(graph.x() + FrequencyToX(axis, cutOn), 0, kMarkWidth, height);
        Shape2->setGeometry(graph.x() + FrequencyToX(axis, cutOff), 0, kMarkWidth, height);
    }
    L_L->setText(QString("%1Hz").arg(cutOn));
    L_U->setText(QString("%1Hz").arg(cutOff));
    LBW->setText(QString(" BW = %1 Hz").arg(cutOff - cutOn));
    for (QLabel* caption : {L_L, L_U, LBW})
        caption->adjustSize();
    L_L->move(std::max(0, Shape1->x() - L_L->width()), 0);
    L_U->move(std::min(graph.x() + graph.width() - L_U->width() - LBW->width(), Shape2->x()), 0);
    LBW->move(graph.x() + graph.width() - LBW->width(), 0);
}

void TSpectrumTab::ApplyBandMarkVisibility() {
    const bool shown = Settings_.BandLines && !Settings_.Zoom;
    for (QWidget* widget : std::initializer_list<QWidget*>{Shape1, Shape2, L_L, L_U, LBW})
        widget->setVisible(shown);
}

void TSpectrumTab::ShowBlock() {
    // The labels keep their left edge until the next re-layout (a click on one re-lays out).
    SetMeterText(LSN, State_.Texts.LSN);
    SetMeterText(LS, State_.Texts.LS);
    SetMeterText(LSp, State_.Texts.LSp);
    PaintBox2->update();
    if (CaptionsChanged())
        PaintSpecCap->update();
    if (Hooks_.BlockShown)
        Hooks_.BlockShown();
}

void TSpectrumTab::Invalidate() {
    PaintBox2->update();
    PaintSpecCap->update();
    CaptionsChanged(); // the strip is on its way: remember what it will show
}

TSpectrumTab::TCaptionKey TSpectrumTab::CaptionKeyNow() const {
    const TSpectrumAxis axis = Axis();
    return {axis.Width, axis.Height, axis.Log,   axis.FMin,
            axis.FMax,  axis.YTop,   axis.Boxes, AxisUnitText(State_)};
}

bool TSpectrumTab::CaptionsChanged() {
    TCaptionKey key = CaptionKeyNow();
    if (key == CaptionKey_)
        return false;
    CaptionKey_ = std::move(key);
    return true;
}

TSpectrumTab::TStillKey TSpectrumTab::StillKeyNow() const {
    return {CaptionKeyNow(),
            PaintBox2->geometry(),
            PaintSpecCap->geometry(),
            LBW->height(),
            Settings_.SpecGridColor,
            Settings_.GridWidth,
            Settings_.LogGrid,
            Settings_.LogSubGrid,
            Settings_.Markings,
            Settings_.FMarkings,
            SpecBack->palette().color(QPalette::Window).rgba(),
            Page->palette().cacheKey(),
            Page->font().key(),
            PaintBox2->devicePixelRatioF()};
}

void TSpectrumTab::PaintOpaqueGraph(QPainter& painter) {
    if (PaintBox2->width() <= 0 || PaintBox2->height() <= 0)
        return;
    const TSpectrumAxis axis = Axis();
    // Text shaping of the markings and the grid lines cost more than copying their picture.
    TStillKey key = StillKeyNow();
    if (Still_.isNull() || !(key == StillKey_)) {
        Still_ = QPixmap(PaintBox2->size() * key.PixelRatio);
        Still_.setDevicePixelRatio(key.PixelRatio);
        QPainter still(&Still_);
        still.setRenderHint(QPainter::Antialiasing, false);
        PaintGraphBackground(*this, still);
        DrawGraphStill(still, axis);
        StillKey_ = std::move(key);
    }
    painter.drawPixmap(0, 0, Still_);
    painter.setRenderHint(QPainter::Antialiasing, false);
    DrawGraphMoving(painter, axis);
}

bool TSpectrumTab::eventFilter(QObject* watched, QEvent* event) {
    // The page itself: re-layout on resize, PageShown and PageHidden (base). SpecBack: the
    // graph's opacity. The meter labels: a left click re-lays out.
    if (watched == SpecBack) {
        if (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent)
            UpdateGraphOpacity(*this, Settings_.TransparentMode);
        return QObject::eventFilter(watched, event);
    }
    if (watched != Page && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        LSN_OClick();
    return TViewTab::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------
// Handlers

void TSpectrumTab::LogFClick() {
    LogF->setChecked(!LogF->isChecked());
    State_.Controls.LogF = LogF->isChecked();
    RunFormResize();
    Invalidate();
}

void TSpectrumTab::LogXGClick() {
    Settings_.LogGrid = !Settings_.LogGrid;
    LogXG->setChecked(Settings_.LogGrid);
    Invalidate();
}

void TSpectrumTab::LogXSClick() {
    Settings_.LogSubGrid = !Settings_.LogSubGrid;
    LogXS->setChecked(Settings_.LogSubGrid);
    Invalidate();
}

void TSpectrumTab::CGCiClick() {
    CGCo->setChecked(false);
    CGCi->setChecked(!CGCi->isChecked());
    Settings_.Markings = CGCi->isChecked() ? 1 : 0;
    RunFormResize();
    Invalidate();
}

void TSpectrumTab::CGCoClick() {
    CGCi->setChecked(false);
    CGCo->setChecked(!CGCo->isChecked());
    Settings_.Markings = CGCo->isChecked() ? 2 : 0;
    RunFormResize();
    Invalidate();
}

void TSpectrumTab::CGCoffClick() {
    CGCi->setChecked(false);
    CGCo->setChecked(false);
    Settings_.Markings = 0;
    RunFormResize();
    Invalidate();
}

void TSpectrumTab::CFCClick() {
    Settings_.FMarkings = !Settings_.FMarkings;
    CFC->setChecked(Settings_.FMarkings);
    RunFormResize();
    PaintSpecCap->update();
}

void TSpectrumTab::EBoxesChange() {
    // Stored as typed (the settings file keeps it); the views use EffectiveBoxes, at least 1.
    Settings_.Boxes = WholeNumberOrThrow(EBoxes->text().toStdString());
    RunFormResize();
}

void TSpectrumTab::ETopChange() {
    Settings_.YTop = NumberOrThrow(ETop->text().toStdString());
    RunFormResize();
}

void TSpectrumTab::EOffsetChange() {
    State_.YOffset = NumberOrThrow(EOffset->text().toStdString());
    RunFormResize();
}

void TSpectrumTab::CheckZoomClick() {
    Settings_.Zoom = !Settings_.Zoom;
    CheckZoom->setChecked(Settings_.Zoom);
    Zoom1->setChecked(Settings_.Zoom);
    ApplyBandMarkVisibility();
    RunFormResize();
    Invalidate();
}

void TSpectrumTab::BWClick() {
    BW->setChecked(!BW->isChecked()); // the settings reader sets the mark first, as LogF's
    Settings_.BandLines = BW->isChecked();
    PlaceBandMarks();
    ApplyBandMarkVisibility();
    Invalidate();
}

void TSpectrumTab::Grid2Click() {
    if (const auto colour = ChooseColour(Settings_.SpecGridColor)) {
        Settings_.SpecGridColor = *colour;
        ApplyBackground(); // the band-edge marks use the grid colour
        Invalidate();
    }
}

void TSpectrumTab::BackGround2Click() {
    if (const auto colour = ChooseColour(Settings_.SpecBackColor)) {
        Settings_.SpecBackColor = *colour;
        ApplyBackground();
        if (Hooks_.ApplyTraceColours)
            Hooks_.ApplyTraceColours();
        // The trace outside the band is blended with the background: repaint it too.
        Invalidate();
    }
}

void TSpectrumTab::Spectrum1Click() {
    if (const auto colour = ChooseColour(Settings_.SpecTraceColor)) {
        Settings_.SpecTraceColor = *colour;
        if (Hooks_.ApplyTraceColours)
            Hooks_.ApplyTraceColours();
        Invalidate();
    }
}

void TSpectrumTab::Redrawwiththicklines1Click() {
    Settings_.TraceWidth = 2;
    PaintBox2->repaint();
    Settings_.TraceWidth = 1;
}

void TSpectrumTab::Reset1Click() {
    State_.ResetSmoothing = true;
}

void TSpectrumTab::TabSpectrumShow() {
    if (Hooks_.ApplyTraceColours)
        Hooks_.ApplyTraceColours();
    if (Hooks_.ShowTraceBoxes)
        Hooks_.ShowTraceBoxes(true);
    CatchUp(); // the latest readings, before the labels are laid out
    RunFormResize();
}

void TSpectrumTab::TabSpectrumHide() {
    if (Hooks_.ShowTraceBoxes)
        Hooks_.ShowTraceBoxes(false);
}

void TSpectrumTab::LSN_OClick() {
    RunFormResize();
}
