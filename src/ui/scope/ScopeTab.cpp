// SPDX-License-Identifier: GPL-3.0-or-later
// The "Scope" tab: construction of its controls and menus, its layout and its handlers.
#include "ui/scope/ScopeTab.h"

#include "core/ScopeSweep.h"
#include "ui/common/ViewMappingQt.h"
#include "ui/common/ViewPaintBox.h"

#include <QAction>
#include <QEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QSlider>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kViewLeft = 10; // pixels left of the view, room for the trigger mark

template <typename Widget, typename... Args>
Widget* Named(QWidget* parent, const char* name, Args&&... args) {
    auto* widget = new Widget(std::forward<Args>(args)..., parent);
    widget->setObjectName(name);
    return widget;
}

QAction* NamedAction(QMenu* menu, const char* name, const QString& caption, bool checkable) {
    auto* action = menu->addAction(caption);
    action->setObjectName(name);
    action->setCheckable(checkable);
    return action;
}


void SetTextColour(QLabel* label, TColour colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, ToQColor(colour, palette));
    label->setPalette(palette);
}

// The view paints all of its own pixels while ScopeBack shows an opaque colour under it: then
// the page and ScopeBack are not painted again under it on every frame. In the transparent mode
// (ScopeBack may be a hole to the desktop) and without ScopeBack (the white screenshot) they are.
void UpdateViewOpacity(TScopeTab& tab, bool transparentMode) {
    tab.PaintBox1->setAttribute(Qt::WA_OpaquePaintEvent,
                                !transparentMode && !tab.ScopeBack->isHidden());
}

} // namespace

TScopeTab::TScopeTab(QWidget* page, MeasurementState& state, TViewSettings& settings,
                     TScopeTabHooks hooks)
    : TViewTab(page, std::move(hooks)), State_(state), Settings_(settings) {
    BuildControls();
    BuildMenus();
    Connect();
    // Start-up without a settings file: time base 0.1 s (position 10), zoom 1, Auto trigger on
    // the rising edge.
    TrackT->setValue(10);
    TrackTChange();
    TrackAmp->setValue(0);
    TrackAmpChange();
    SetTriggerModeItem(State_.Scope.TriggerMode);
    State_.Scope.TriggerRising ? TRiseClick() : TFallClick();
    Relayout();
}

TScopeTab::~TScopeTab() = default;

void TScopeTab::BuildControls() {
    ScopeBack = Named<QFrame>(Page, "ScopeBack");
    ScopeBack->setAutoFillBackground(true);
    PaintBox1 = new TViewPaintBox(Page, "PaintBox1");
    PaintBox1->OnPaint = [this](QPainter& painter) {
        if (PaintBox1->testAttribute(Qt::WA_OpaquePaintEvent))
            painter.fillRect(PaintBox1->rect(), ScopeBack->palette().color(QPalette::Window));
        PaintBox1Paint(painter);
    };
    ScopeBack->installEventFilter(this); // shown or hidden: the view's opacity follows
    TrackAmp = Named<QSlider>(Page, "TrackAmp", Qt::Vertical);
    TrackAmp->setRange(0, 24);
    TrackAmp->resize(TrackAmp->sizeHint().width(), TrackAmp->height());
    TrackT = Named<QSlider>(Page, "TrackT", Qt::Horizontal);
    TrackT->setRange(1, 19);
    TrackT->resize(TrackT->width(), TrackT->sizeHint().height());
    LabT = Named<QLabel>(Page, "LabT", "");
    LTrig = Named<QLabel>(Page, "LTrig", ">");
    LTrig->adjustSize();
    LTrig->setCursor(Qt::SizeVerCursor);
    LSN_O = Named<QLabel>(Page, "LSN_O", QString::fromStdString(State_.Texts.LSN_O));
    LCS = Named<QLabel>(Page, "LCS", QString::fromStdString(State_.Texts.LCS));
    LCS->hide(); // shown by "Display in Scope"
    QFont meterFont = Page->font();
    meterFont.setPointSize(DefaultMeterFontSize);
    meterFont.setBold(true);
    for (QLabel* meter : {LSN_O, LCS}) {
        meter->setFont(meterFont);
        SetTextColour(meter, RedColour);
        meter->move(0, 8);
        meter->installEventFilter(this);
    }
    LTrig->installEventFilter(this);
}

void TScopeTab::BuildMenus() {
    PopupScope = new QMenu(Page);
    PopupScope->setObjectName("PopupScope");
    scym = NamedAction(PopupScope, "scym", "Y-Markings", true);
    sctm = NamedAction(PopupScope, "sctm", "Time Markings", true);
    ScopLev = NamedAction(PopupScope, "ScopLev", "Level Meter", true);
    ScopLev->setChecked(true);
    auto* colours = PopupScope->addMenu("Colors");
    colours->setObjectName("Colors1");
    race1 = NamedAction(colours, "race1", "Trace", false);
    Grid1 = NamedAction(colours, "Grid1", "Grid", false);
    Background1 = NamedAction(colours, "Background1", "Background", false);
    Redrawwiththicklines2 =
        NamedAction(PopupScope, "Redrawwiththicklines2", "Redraw with thick lines", false);
    Single1 = NamedAction(PopupScope, "Single1", "Single", false);

    PopupTrig = new QMenu(Page);
    PopupTrig->setObjectName("PopupTrig");
    TOff = NamedAction(PopupTrig, "TOff", "OFF", true);
    TNorm = NamedAction(PopupTrig, "TNorm", "Norm", true);
    TAuto = NamedAction(PopupTrig, "TAuto", "Auto", true);
    TSingle = NamedAction(PopupTrig, "TSingle", "Single", true);
    PopupTrig->addSeparator();
    TRise = NamedAction(PopupTrig, "TRise", "Trigger Rising Edge", true);
    TFall = NamedAction(PopupTrig, "TFall", "Trigger Falling Edge", true);
}

void TScopeTab::Connect() {
    connect(TrackT, &QSlider::valueChanged, this, [this] { TrackTChange(); });
    connect(TrackAmp, &QSlider::valueChanged, this, [this] { TrackAmpChange(); });
    ConnectClick(this, scym, [this] { scymClick(); });
    ConnectClick(this, sctm, [this] { sctmClick(); });
    ConnectClick(this, ScopLev, [this] { ScopLevClick(); });
    ConnectClick(this, race1, [this] { race1Click(); });
    ConnectClick(this, Grid1, [this] { Grid1Click(); });
    ConnectClick(this, Background1, [this] { Background1Click(); });
    ConnectClick(this, Redrawwiththicklines2, [this] { Redrawwiththicklines2Click(); });
    ConnectClick(this, Single1, [this] { Single1Click(); });
    ConnectClick(this, TNorm, [this] { TNormClick(); });
    ConnectClick(this, TAuto, [this] { TAutoClick(); });
    ConnectClick(this, TSingle, [this] { TSingleClick(); });
    ConnectClick(this, TOff, [this] { TOffClick(); });
    ConnectClick(this, TRise, [this] { TRiseClick(); });
    ConnectClick(this, TFall, [this] { TFallClick(); });

    for (QWidget* opener : std::initializer_list<QWidget*>{PaintBox1, ScopeBack, TrackAmp}) {
        opener->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(opener, &QWidget::customContextMenuRequested, this,
                [this, opener](const QPoint& at) { PopupScope->popup(opener->mapToGlobal(at)); });
    }
    LTrig->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(LTrig, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupTrig->popup(LTrig->mapToGlobal(at)); });
}

TScopeAxis TScopeTab::Axis() const {
    TScopeAxis axis;
    axis.Width = PaintBox1->width();
    axis.Height = PaintBox1->height();
    axis.TimeBase = State_.Scope.TimeBase;
    axis.Zoom = std::max(1, State_.Scope.ScopeZoom);
    axis.Vfs = ScopeVfs(State_.YOffset, State_.RefLevel, axis.Zoom);
    return axis;
}

void TScopeTab::Relayout() {
    const QRect area = Page->rect();
    const int trackTHeight = TrackT->height();
    TrackAmp->setGeometry(area.width() - TrackAmp->width(), 0, TrackAmp->width(),
                          std::max(0, area.height() - trackTHeight));
    const int captionWidth = QFontMetrics(Page->font()).horizontalAdvance("100ms");
    TrackT->setGeometry(0, area.height() - trackTHeight, std::max(0, area.width() - captionWidth),
                        trackTHeight);
    LabT->adjustSize();
    LabT->move(area.width() - LabT->width(), TrackT->y() + 2);
    PaintBox1->setGeometry(kViewLeft, 0, std::max(0, TrackAmp->x() - kViewLeft),
                           std::max(0, TrackT->y()));

    LSN_O->adjustSize();
    LCS->adjustSize();
    const int widest = std::max(LSN_O->width(), LCS->isHidden() ? 0 : LCS->width());
    LSN_O->move(PaintBox1->x() + PaintBox1->width() - 5 - widest, LSN_O->y());
    LCS->move(LSN_O->x(), LSN_O->y() + LSN_O->height() * 5 / 4);

    ScopeBack->setGeometry(PaintBox1->geometry());
    ApplyBackground();
    PlaceTriggerMark();
    Invalidate();
}

void TScopeTab::PlaceTriggerMark() {
    LTrig->move(0, TriggerMarkTop(State_.Scope.TriggerLevel, LTrig->height(), PaintBox1->height()));
}

void TScopeTab::ApplyBackground() {
    UpdateViewOpacity(*this, Settings_.TransparentMode);
    const TColour back =
        Settings_.TransparentMode ? TransparencyKeyColour : Settings_.ScopeBackColor;
    QPalette palette = ScopeBack->palette();
    palette.setColor(QPalette::Window, ToQColor(back, Page->palette()));
    ScopeBack->setPalette(palette);
}

void TScopeTab::ShowBlock() {
    SetMeterText(LSN_O, State_.Texts.LSN_O);
    SetMeterText(LCS, State_.Texts.LCS);
    Invalidate();
}

void TScopeTab::Invalidate() {
    PaintBox1->update();
}

bool TScopeTab::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Page)
        return TViewTab::eventFilter(watched, event); // re-layout on resize, PageShown
    if (watched == ScopeBack) {
        if (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent)
            UpdateViewOpacity(*this, Settings_.TransparentMode);
        return QObject::eventFilter(watched, event);
    }
    if (watched == LTrig) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseMove:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            break;
        default:
            return QObject::eventFilter(watched, event);
        }
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const bool left = mouse->button() == Qt::LeftButton;
        const int tabY = Page->mapFromGlobal(mouse->globalPosition().toPoint()).y();
        if (event->type() == QEvent::MouseButtonPress && left)
            LTrigMouseDown(tabY);
        else if (event->type() == QEvent::MouseMove)
            LTrigMouseMove(tabY);
        else if (event->type() == QEvent::MouseButtonRelease && left)
            LTrigMouseUp();
        else if (event->type() == QEvent::MouseButtonDblClick && left)
            TSingleClick();
        // The right button goes on to the label and opens PopupTrig.
        return left || event->type() == QEvent::MouseMove;
    }
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        LSN_OClick();
    return QObject::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------
// Handlers

void TScopeTab::TrackTChange() {
    const std::string caption = ::TrackTChange(State_.Scope, TrackT->value());
    LabT->setText(QString::fromStdString(caption));
    LabT->adjustSize();
    LabT->move(Page->width() - LabT->width(), LabT->y());
    Invalidate();
}

void TScopeTab::TrackAmpChange() {
    ::TrackAmpChange(State_.Scope, TrackAmp->value());
    Invalidate();
}

void TScopeTab::scymClick() {
    scym->setChecked(!scym->isChecked());
    Invalidate();
}

void TScopeTab::sctmClick() {
    sctm->setChecked(!sctm->isChecked());
    Invalidate();
}

void TScopeTab::ScopLevClick() {
    ScopLev->setChecked(!ScopLev->isChecked());
    LSN_O->setVisible(ScopLev->isChecked());
    Invalidate(); // the level lines come and go with the meter
}

void TScopeTab::race1Click() {
    if (const auto colour = ChooseColour(Settings_.ScopeColor)) {
        Settings_.ScopeColor = *colour;
        RunFormResize();
        Invalidate();
    }
}

void TScopeTab::Grid1Click() {
    if (const auto colour = ChooseColour(Settings_.ScopeGridColor)) {
        Settings_.ScopeGridColor = *colour;
        RunFormResize();
        Invalidate();
    }
}

void TScopeTab::Background1Click() {
    if (const auto colour = ChooseColour(Settings_.ScopeBackColor)) {
        Settings_.ScopeBackColor = *colour;
        ApplyBackground();
    }
}

void TScopeTab::Redrawwiththicklines2Click() {
    Settings_.TraceWidth = 2;
    PaintBox1->repaint();
    Settings_.TraceWidth = 1;
}

void TScopeTab::Single1Click() {
    TSingleClick();
}

void TScopeTab::SetTriggerModeItem(int mode) {
    TOff->setChecked(mode == 0);
    TNorm->setChecked(mode == 1);
    TAuto->setChecked(mode == 2);
    TSingle->setChecked(mode == 3);
}

void TScopeTab::TNormClick() {
    SetTriggerMode(State_.Scope, 1);
    SetTriggerModeItem(1);
}

void TScopeTab::TAutoClick() {
    SetTriggerMode(State_.Scope, 2);
    SetTriggerModeItem(2);
}

void TScopeTab::TSingleClick() {
    SetTriggerMode(State_.Scope, 3); // re-arms: SingleDone and FirstSweepDone cleared
    SetTriggerModeItem(3);
}

void TScopeTab::TOffClick() {
    SetTriggerMode(State_.Scope, 0);
    SetTriggerModeItem(0);
}

void TScopeTab::TRiseClick() {
    State_.Scope.TriggerRising = true;
    TRise->setChecked(true);
    TFall->setChecked(false);
    SetTextColour(LTrig, RedColour);
}

void TScopeTab::TFallClick() {
    State_.Scope.TriggerRising = false;
    TFall->setChecked(true);
    TRise->setChecked(false);
    SetTextColour(LTrig, BlueColour);
}

void TScopeTab::LTrigMouseDown(int tabY) {
    DragStartY_ = tabY;
    DragStartTop_ = LTrig->y();
    Dragging_ = true; // the press itself keeps the mouse on LTrig until the release
}

void TScopeTab::LTrigMouseMove(int tabY) {
    if (!Dragging_)
        return;
    const double top = DraggedTriggerMarkTop(tabY, DragStartTop_, DragStartY_, LTrig->height(),
                                             PaintBox1->height());
    LTrig->move(0, RoundToPixel(top));
    State_.Scope.TriggerLevel = TriggerLevelOfMarkTop(top, LTrig->height(), PaintBox1->height());
}

void TScopeTab::LTrigMouseUp() {
    Dragging_ = false;
}

void TScopeTab::TabScopeShow() {
    CatchUp(); // the latest readings, before the labels are laid out
    RunFormResize();
}

void TScopeTab::LSN_OClick() {
    RunFormResize();
}
