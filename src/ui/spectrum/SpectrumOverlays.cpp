// SPDX-License-Identifier: GPL-3.0-or-later
// The overlays of the spectrum graph: cursor read-out, band-edge drags, markers, annotations.
#include "ui/spectrum/SpectrumOverlays.h"

#include "core/DisplayText.h"
#include "core/NumberText.h"
#include "ui/WidgetNaming.h"
#include "ui/common/ViewMappingQt.h"
#include "ui/common/ViewPaintBox.h"
#include "ui/spectrum/MemoryTraces.h"
#include "ui/spectrum/SpectrumTab.h"

#include "core/LevelUnits.h"
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

constexpr int kMaxFontSize = 500; // points; larger sizes are taken for typing errors

// A read-out text as a label shows it: LF line breaks, without the break after the last line.
QString LabelText(const std::string& text) {
    std::string shown = DisplayLineBreaks(text);
    if (!shown.empty() && shown.back() == '\n')
        shown.pop_back();
    return QString::fromStdString(shown);
}

void SetText(QLabel* label, const QString& text) {
    if (label->text() != text) {
        label->setText(text);
        label->adjustSize();
    }
}

void SetPointSize(QWidget* widget, int size) {
    if (widget->font().pointSize() == size)
        return;
    QFont font = widget->font();
    font.setPointSize(size);
    widget->setFont(font);
    if (auto* label = qobject_cast<QLabel*>(widget))
        label->adjustSize();
}

// A font size typed into a field: a whole number from 1 to kMaxFontSize.
std::optional<int> FontSizeOf(const QString& text) {
    const auto value = ParseWholeNumber(text.toStdString());
    if (!value || *value < 1 || *value > kMaxFontSize)
        return std::nullopt;
    return *value;
}

} // namespace

TSpectrumOverlays::TSpectrumOverlays(TSpectrumTab& tab, MeasurementState& state,
                                     TViewSettings& settings, TMemoryTraces& memories,
                                     QSlider* trackL, QSlider* trackU, QCheckBox* c,
                                     std::vector<QLabel*> spectrumMeters,
                                     std::vector<QLabel*> scopeMeters, TSpectrumOverlayHooks hooks)
    : Tab_(tab), State_(state), Settings_(settings), Memories_(memories), TrackL_(trackL),
      TrackU_(trackU), C_(c), SpectrumMeters_(std::move(spectrumMeters)),
      ScopeMeters_(std::move(scopeMeters)), Hooks_(std::move(hooks)) {
    for (std::size_t m = 0; m < 6; ++m)
        MarkerText_[m] = QString::fromStdString(FormatGeneral(MarkerHz_[m]));
    BuildLabels();
    BuildPanel();
    Connect();
    UpdateMarkerText();
    CMTransClick();
}

TSpectrumOverlays::~TSpectrumOverlays() = default;

std::size_t TSpectrumOverlays::Index6(int i) {
    return static_cast<std::size_t>(std::clamp(i, 0, 5));
}

void TSpectrumOverlays::BuildLabels() {
    QWidget* page = Tab_.Page;
    LCursor = Named<QLabel>(page, "LCursor", "");
    LCursor->hide();
    LCursor->move(-100, -100);
    LMar = Named<QLabel>(page, "LMar", "");
    const char* memoryNames[] = {"LM1", "LM2", "LM3", "LM4"};
    for (std::size_t k = 0; k < 4; ++k)
        LM[k] = Named<QLabel>(page, memoryNames[k], "");
    for (QLabel* label : {LMar, LM[0], LM[1], LM[2], LM[3]}) {
        SetPointSize(label, MarkerFont_);
        label->hide();
    }
    const char* annotationNames[] = {"LAM", "LA1", "LA2", "LA3", "LA4", "LAC"};
    const char* annotationTexts[] = {"Main Trace", "Mem1", "Mem2", "Mem3", "Mem4", "Cust. Trace"};
    for (std::size_t i = 0; i < 6; ++i) {
        LA[i] = Named<QLabel>(page, annotationNames[i], annotationTexts[i]);
        LA[i]->hide();
        LA[i]->installEventFilter(this);
    }
    for (QWidget* handle :
         std::initializer_list<QWidget*>{Tab_.Shape1, Tab_.Shape2, Tab_.L_L, Tab_.L_U, Tab_.LBW}) {
        handle->installEventFilter(this);
        handle->setCursor(Qt::SizeHorCursor);
    }
    Tab_.PaintBox2->OnMouseDown = [this](QMouseEvent* event) { PaintBox2MouseDown(event); };
    Tab_.PaintBox2->OnMouseMove = [this](QMouseEvent* event) { PaintBox2MouseMove(event); };
    Tab_.PaintBox2->OnMouseUp = [this](QMouseEvent* event) { PaintBox2MouseUp(event); };
}

void TSpectrumOverlays::BuildPanel() {
    Panel_ = Named<QWidget>(Tab_.Page, "SpecOverlayPanel");
    Panel_->hide(); // shown where the window puts it (its settings page)
    auto* columns = new QHBoxLayout(Panel_);
    columns->setContentsMargins(0, 0, 0, 0);

    auto* markers = Named<QGroupBox>(Panel_, "GroupMarkers", "Markers");
    auto* grid = new QGridLayout(markers);
    const char* checkNames[] = {"MC1", "MC2", "MC3", "MC4", "MC5", "MC6"};
    const char* fieldNames[] = {"MF1", "MF2", "MF3", "MF4", "MF5", "MF6"};
    for (std::size_t m = 0; m < 6; ++m) {
        MC[m] = Named<QCheckBox>(markers, checkNames[m], QString("Marker %1:").arg(m + 1));
        MF[m] = Named<QLineEdit>(markers, fieldNames[m], MarkerText_[m]);
        const int row = static_cast<int>(m);
        grid->addWidget(MC[m], row, 0);
        grid->addWidget(MF[m], row, 1);
        grid->addWidget(new QLabel("Hz", markers), row, 2);
    }
    CPos = Named<QComboBox>(markers, "CPos");
    CPos->addItems({"top left", "top right", "bottom left", "bottom right"});
    grid->addWidget(new QLabel("Caption", markers), 6, 0);
    grid->addWidget(CPos, 6, 1, 1, 2);
    EMFS = Named<QLineEdit>(markers, "EMFS", QString::number(MarkerFont_));
    grid->addWidget(new QLabel("Font Size", markers), 7, 0);
    grid->addWidget(EMFS, 7, 1, 1, 2);
    CMD = Named<QCheckBox>(markers, "CMD", "Show Marker Data for Memory Traces");
    CMD->setChecked(true);
    grid->addWidget(CMD, 8, 0, 1, 3);
    columns->addWidget(markers);

    auto* annotations = Named<QGroupBox>(Panel_, "GroupAnnotations", "Annotations");
    auto* form = new QFormLayout(annotations);
    const char* editNames[] = {"EAM", "EA1", "EA2", "EA3", "EA4", "EAC"};
    const char* captions[] = {"Main", "Mem1", "Mem2", "Mem3", "Mem4", "Custom"};
    for (std::size_t i = 0; i < 6; ++i) {
        EA[i] = Named<QLineEdit>(annotations, editNames[i], LA[i]->text());
        form->addRow(captions[i], EA[i]);
    }
    CA = Named<QCheckBox>(annotations, "CA", "Display Annotations in Spectrum");
    CAT = Named<QCheckBox>(annotations, "CAT", "transparent background");
    EAFS = Named<QLineEdit>(annotations, "EAFS", QString::number(AnnotationFont_));
    BDefault = Named<QPushButton>(annotations, "BDefault", "Move all Labels to top left");
    form->addRow(CA);
    form->addRow(CAT);
    form->addRow("Rel. Font Size", EAFS);
    form->addRow(BDefault);
    columns->addWidget(annotations);

    auto* display = Named<QGroupBox>(Panel_, "GroupCursor", "Cursor and Meters");
    auto* displayLayout = new QVBoxLayout(display);
    CCur = Named<QComboBox>(display, "CCur");
    CCur->addItems({"Text Alignment LEFT", "Text Alignment RIGHT"});
    CMTrans = Named<QCheckBox>(display, "CMTrans", "Meters transparent");
    CMTrans->setChecked(true);
    displayLayout->addWidget(CCur);
    displayLayout->addWidget(CMTrans);
    displayLayout->addStretch(1);
    columns->addWidget(display);
}

void TSpectrumOverlays::Connect() {
    for (std::size_t m = 0; m < 6; ++m) {
        const int marker = static_cast<int>(m);
        connect(MC[m], &QCheckBox::toggled, this, [this] { MC1Click(); });
        connect(MF[m], &QLineEdit::textEdited, this, [this, marker] { MF1Change(marker, false); });
        connect(MF[m], &QLineEdit::editingFinished, this,
                [this, marker] { MF1Change(marker, true); });
    }
    connect(CPos, &QComboBox::currentIndexChanged, this, [this] { CPosChange(); });
    connect(EMFS, &QLineEdit::textEdited, this, [this] { EMFSChange(false); });
    connect(EMFS, &QLineEdit::editingFinished, this, [this] { EMFSChange(true); });
    connect(CMD, &QCheckBox::toggled, this, [this] { CMDClick(); });
    for (QLineEdit* edit : EA)
        connect(edit, &QLineEdit::textChanged, this, [this] { EAMChange(); });
    connect(CA, &QCheckBox::toggled, this, [this] { CAClick(); });
    connect(CAT, &QCheckBox::toggled, this, [this] { CATClick(); });
    connect(EAFS, &QLineEdit::textEdited, this, [this] { EAFSEdited(false); });
    connect(EAFS, &QLineEdit::editingFinished, this, [this] { EAFSEdited(true); });
    connect(BDefault, &QPushButton::clicked, this, [this] { BDefaultClick(); });
    connect(CMTrans, &QCheckBox::toggled, this, [this] { CMTransClick(); });
    if (C_)
        connect(C_, &QCheckBox::toggled, this, [this] { CAClick(); });
}

TPixelRect TSpectrumOverlays::Graph() const {
    const QRect g = Tab_.PaintBox2->geometry();
    return {g.x(), g.y(), g.width(), g.height()};
}

QPoint TSpectrumOverlays::PageCursor(const QMouseEvent* event) const {
    return Tab_.Page->mapFromGlobal(event->globalPosition().toPoint());
}

void TSpectrumOverlays::RunFormResize() {
    if (Hooks_.FormResize)
        Hooks_.FormResize();
    else
        Tab_.Relayout();
}

void TSpectrumOverlays::Beep() {
    if (Hooks_.Beep)
        Hooks_.Beep();
}

bool TSpectrumOverlays::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
        type != QEvent::MouseButtonRelease && type != QEvent::MouseButtonDblClick)
        return QObject::eventFilter(watched, event);
    auto* mouse = static_cast<QMouseEvent*>(event);
    const bool left = mouse->button() == Qt::LeftButton;
    auto* widget = qobject_cast<QWidget*>(watched);

    if (auto* label = qobject_cast<QLabel*>(watched);
        label && std::find(LA.begin(), LA.end(), label) != LA.end()) {
        if (type == QEvent::MouseButtonPress && left)
            LAMMouseDown(label, mouse);
        else if (type == QEvent::MouseMove)
            LAMMouseMove(label, mouse);
        else if (type == QEvent::MouseButtonRelease && left)
            LAMMouseUp(label);
        return true;
    }

    // The band-edge handles and their captions.
    if (type == QEvent::MouseButtonPress && left) {
        Shape1MouseDown(widget, mouse);
    } else if (type == QEvent::MouseMove && Drag_.Active && Drag_.Source == widget) {
        if (widget == Tab_.Shape1)
            Shape1MouseMove(mouse);
        else if (widget == Tab_.L_L)
            L_LMouseMove(mouse);
        else if (widget == Tab_.Shape2)
            Shape2MouseMove(mouse);
        else
            L_UMouseMove(mouse);
    } else if (type == QEvent::MouseButtonRelease && left) {
        Shape1MouseUp();
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Cursor read-out

void TSpectrumOverlays::PaintBox2MouseDown(QMouseEvent* event) {
    if (event->button() == Qt::RightButton || Drag_.Active)
        return; // the right button opens the graph's pop-up menu
    Drag_ = {};
    Drag_.Active = true;
    Drag_.Source = Tab_.PaintBox2;
    CursorWithLevel_ = event->button() != Qt::MiddleButton;
    LCursor->show();
    LCursor->raise();
    ShowCursor(event);
}

void TSpectrumOverlays::PaintBox2MouseMove(QMouseEvent* event) {
    if (Drag_.Active && Drag_.Source == Tab_.PaintBox2)
        ShowCursor(event);
}

void TSpectrumOverlays::PaintBox2MouseUp(QMouseEvent* /*event*/) {
    if (!Drag_.Active || Drag_.Source != Tab_.PaintBox2)
        return;
    LCursor->setText("");
    LCursor->move(-100, -100);
    Drag_ = {};
    LCursor->hide();
}

void TSpectrumOverlays::ShowCursor(const QMouseEvent* event) {
    const QPoint at = Tab_.PaintBox2->mapFromGlobal(event->globalPosition().toPoint());
    const TSpectrumAxis axis = Tab_.Axis();
    const std::string text = CursorText(XToFrequency(axis, at.x()), YToDb(axis, at.y()),
                                        CursorWithLevel_, AxisUnitText(State_));
    SetText(LCursor, LabelText(text));
    LCursor->adjustSize();
    const TPixelPoint place = CursorLabelPosition(Graph(), at.x(), at.y(), LCursor->width(),
                                                  LCursor->height(), CCur->currentIndex() == 1);
    LCursor->move(place.X, place.Y);
}

// ---------------------------------------------------------------------------------------------
// Band-edge handles

TBandDragContext TSpectrumOverlays::BandContext() const {
    const TSpectrumAxis axis = Tab_.Axis();
    const TPixelRect g = Graph();
    TBandDragContext c;
    c.Log = axis.Log;
    c.CutOn = TrackL_->value();
    c.CutOff = TrackU_->value();
    c.CutOffMax = TrackU_->maximum();
    c.CutOnX = Tab_.Shape1->x() - g.Left;
    c.CutOffX = Tab_.Shape2->x() - g.Left;
    c.GraphWidth = g.Width;
    c.XToFrequency = [axis](double x) { return XToFrequency(axis, x); };
    return c;
}

void TSpectrumOverlays::Shape1MouseDown(QWidget* source, QMouseEvent* event) {
    if (Drag_.Active)
        return;
    const TPixelRect g = Graph();
    Drag_ = {};
    Drag_.Active = true;
    Drag_.Source = source;
    Drag_.StartCursor = PageCursor(event);
    Drag_.StartShape1Left = Tab_.Shape1->x();
    Drag_.StartShape2Left = Tab_.Shape2->x();
    Drag_.StartCursorGraphX = Drag_.StartCursor.x() - g.Left;
    Drag_.StartBandwidth = TrackU_->value() - TrackL_->value();
    Tab_.BandMarkDragging = true;
    if (Hooks_.DeferFilterDesign)
        Hooks_.DeferFilterDesign(true);
}

void TSpectrumOverlays::ApplyBandDrag(const TBandDragResult& result, bool cutOnHandle) {
    // The slider that moves away from the other goes first, so that neither handler has to
    // push the other edge along.
    if (result.CutOff >= TrackU_->value()) {
        TrackU_->setValue(result.CutOff);
        TrackL_->setValue(result.CutOn);
    } else {
        TrackL_->setValue(result.CutOn);
        TrackU_->setValue(result.CutOff);
    }
    const TSpectrumAxis axis = Tab_.Axis();
    const TPixelRect g = Graph();
    const int cutOnX = cutOnHandle ? result.X : FrequencyToX(axis, TrackL_->value());
    const int cutOffX = cutOnHandle ? FrequencyToX(axis, TrackU_->value()) : result.X;
    Tab_.Shape1->move(g.Left + cutOnX, Tab_.Shape1->y());
    Tab_.Shape2->move(g.Left + cutOffX, Tab_.Shape2->y());
    Tab_.PlaceBandMarks(); // the captions follow the handles; LBW at the top right
    Tab_.Invalidate();     // the trace's colours follow the band
}

void TSpectrumOverlays::Shape1MouseMove(QMouseEvent* event) {
    const int x = PageCursor(event).x() - Graph().Left;
    ApplyBandDrag(DragCutOnHandle(BandContext(), x), true);
}

void TSpectrumOverlays::L_LMouseMove(QMouseEvent* event) {
    const int x =
        PageCursor(event).x() + Drag_.StartShape1Left - Drag_.StartCursor.x() - Graph().Left;
    ApplyBandDrag(DragCutOnCaption(BandContext(), x, Drag_.StartBandwidth), true);
}

void TSpectrumOverlays::Shape2MouseMove(QMouseEvent* event) {
    const int x = PageCursor(event).x() - Graph().Left;
    ApplyBandDrag(DragCutOffHandle(BandContext(), x), false);
}

void TSpectrumOverlays::L_UMouseMove(QMouseEvent* event) {
    const int x =
        PageCursor(event).x() + Drag_.StartShape2Left - Drag_.StartCursor.x() - Graph().Left;
    ApplyBandDrag(DragCutOffCaption(BandContext(), x), false);
}

void TSpectrumOverlays::Shape1MouseUp() {
    if (!Drag_.Active || Drag_.Source == Tab_.PaintBox2)
        return;
    Drag_ = {};
    Tab_.BandMarkDragging = false;
    if (Hooks_.DeferFilterDesign)
        Hooks_.DeferFilterDesign(false);
    Tab_.PlaceBandMarks();
    Tab_.Invalidate();
}

// ---------------------------------------------------------------------------------------------
// Markers

void TSpectrumOverlays::UpdateMarkerText() {
    std::array<TMarker, 6> markers;
    for (std::size_t m = 0; m < 6; ++m)
        markers[m] = {MC[m]->isChecked(), MarkerHz_[m]};
    TMarkerTraces traces;
    traces.Main = State_.DisplayPoints;
    traces.MainOffsetDb = State_.YOffset - DisplayRefLevel(State_);
    traces.Unit = AxisUnitText(State_);
    for (std::size_t k = 0; k < 4; ++k) {
        traces.Memory[k] = Memories_.Memory(static_cast<int>(k) + 1);
        traces.MemoryChecked[k] = Memories_.Boxes[k]->isChecked();
    }
    Texts_ = BuildMarkerTexts(markers, traces);

    SetText(LMar, LabelText(Texts_.Main));
    LMar->setVisible(Texts_.AnyChecked);
    for (std::size_t k = 0; k < 4; ++k) {
        SetText(LM[k], LabelText(Texts_.Memory[k]));
        LM[k]->setVisible(Texts_.AnyChecked && CMD->isChecked() && traces.MemoryChecked[k] &&
                          !traces.Memory[k].empty());
    }
    CAClick();
    CATClick();
}

void TSpectrumOverlays::CPosChange() {
    std::array<TLabelSize, 4> memories;
    for (std::size_t k = 0; k < 4; ++k)
        memories[k] = {LM[k]->width(), LM[k]->height(), !LM[k]->isHidden()};
    const auto places = MarkerReadoutPositions(Graph(), CPos->currentIndex(), LMar->width(),
                                               LMar->height(), memories);
    LMar->move(places[0].X, places[0].Y);
    LMar->raise();
    for (std::size_t k = 0; k < 4; ++k) {
        LM[k]->move(places[k + 1].X, places[k + 1].Y);
        LM[k]->raise();
    }
}

void TSpectrumOverlays::EMFSChange(bool leaving) {
    const auto size = FontSizeOf(EMFS->text());
    if (!size) {
        if (leaving) {
            Beep();
            EMFS->setText(QString::number(MarkerFont_));
        }
        return;
    }
    MarkerFont_ = *size;
    for (QLabel* label : {LMar, LM[0], LM[1], LM[2], LM[3]})
        SetPointSize(label, MarkerFont_);
    CPosChange();
}

bool TSpectrumOverlays::ApplyMarkerFontText(const QString& text) {
    EMFS->setText(text);
    const bool valid = FontSizeOf(text).has_value();
    if (valid)
        EMFSChange(false);
    else
        EMFS->setText(QString::number(MarkerFont_));
    return valid;
}

void TSpectrumOverlays::CMDClick() {
    UpdateMarkerText();
    RunFormResize();
}

void TSpectrumOverlays::MC1Click() {
    UpdateMarkerText();
    CPosChange();
}

void TSpectrumOverlays::MF1Change(int m, bool leaving) {
    const std::size_t i = Index6(m);
    const QString text = MF[i]->text();
    const auto value = ParseNumber(text.toStdString());
    if (!value) {
        // Not a number: the marker keeps its frequency; leaving the field restores its text.
        if (leaving) {
            Beep();
            MF[i]->setText(MarkerText_[i]);
        }
        return;
    }
    MarkerHz_[i] = *value;
    MarkerText_[i] = text;
    UpdateMarkerText();
    CPosChange();
}

bool TSpectrumOverlays::ApplyMarkerFrequencyText(int m, const QString& text) {
    const std::size_t i = Index6(m);
    MF[i]->setText(text);
    const bool valid = ParseNumber(text.toStdString()).has_value();
    if (valid)
        MF1Change(m, false);
    else
        MF[i]->setText(MarkerText_[i]);
    return valid;
}

void TSpectrumOverlays::EngineBlockShown() {
    if (!Texts_.AnyChecked)
        return; // nothing on show depends on the spectrum
    UpdateMarkerText();
    CPosChange();
}

// ---------------------------------------------------------------------------------------------
// Annotations

void TSpectrumOverlays::EAMChange() {
    for (std::size_t i = 0; i < 6; ++i)
        SetText(LA[i], EA[i]->text());
    PlaceAnnotations();
}

void TSpectrumOverlays::CAClick() {
    const bool shown = CA->isChecked();
    LA[0]->setVisible(shown);
    for (std::size_t k = 0; k < 4; ++k)
        LA[k + 1]->setVisible(shown && Memories_.Boxes[k]->isChecked() &&
                              !Memories_.Memory(static_cast<int>(k) + 1).empty());
    LA[5]->setVisible(shown && C_ && C_->isChecked());
}

void TSpectrumOverlays::CATClick() {
    // The opaque background (SpecBackColor) and the font colours are set with the trace colours.
    for (QLabel* label : LA)
        label->setAutoFillBackground(!CAT->isChecked());
}

void TSpectrumOverlays::EAFSChange() {
    const int size = Placing_ ? Placing_->FontSize
                              : AnnotationFontSize(Hooks_.ClientWidth ? Hooks_.ClientWidth() : 1024,
                                                   AnnotationFont_);
    for (QLabel* label : LA)
        SetPointSize(label, size);
    PlaceAnnotations();
}

void TSpectrumOverlays::EAFSEdited(bool leaving) {
    const auto size = FontSizeOf(EAFS->text());
    if (!size) {
        if (leaving) {
            Beep();
            EAFS->setText(QString::number(AnnotationFont_));
        }
        return;
    }
    AnnotationFont_ = *size;
    EAFSChange();
}

bool TSpectrumOverlays::ApplyAnnotationFontText(const QString& text) {
    EAFS->setText(text);
    const bool valid = FontSizeOf(text).has_value();
    if (valid)
        EAFSEdited(false);
    else
        EAFS->setText(QString::number(AnnotationFont_));
    return valid;
}

void TSpectrumOverlays::PlaceAnnotations() {
    const TPixelRect g = Graph();
    for (std::size_t i = 0; i < 6; ++i) {
        QLabel* label = LA[i];
        if (Drag_.Active && Drag_.Source == label)
            continue; // the drag places it
        if (Placing_) {
            label->move(Placing_->Places[i]);
            label->raise();
            continue;
        }
        const TPixelPoint at =
            LabelPositionOfFraction(g, AnnoPos_[i], label->width(), label->height());
        label->move(at.X, at.Y);
        label->raise();
    }
}

void TSpectrumOverlays::SetAnnotationPlacing(std::optional<TAnnotationPlacing> placing) {
    Placing_ = std::move(placing);
}

void TSpectrumOverlays::ShowMarkerFont(int size) {
    for (QLabel* label : {LMar, LM[0], LM[1], LM[2], LM[3]})
        SetPointSize(label, size);
    CPosChange();
}

void TSpectrumOverlays::SetAnnoPos(int i, TLabelFraction position) {
    if (!std::isfinite(position.L))
        position.L = 0.0;
    if (!std::isfinite(position.T))
        position.T = 0.0;
    AnnoPos_[Index6(i)] = position;
}

void TSpectrumOverlays::LAMMouseDown(QLabel* label, QMouseEvent* event) {
    if (Drag_.Active)
        return;
    Drag_ = {};
    Drag_.Active = true;
    Drag_.Source = label;
    Drag_.StartCursor = PageCursor(event);
    Drag_.StartTop = label->y();
    Drag_.StartLeft = label->x();
}

void TSpectrumOverlays::LAMMouseMove(QLabel* label, QMouseEvent* event) {
    if (!Drag_.Active || Drag_.Source != label)
        return;
    const QPoint at = PageCursor(event);
    const TPixelPoint place = LimitLabelPosition(
        Graph(), at.x() + Drag_.StartLeft - Drag_.StartCursor.x(),
        at.y() + Drag_.StartTop - Drag_.StartCursor.y(), label->width(), label->height());
    label->move(place.X, place.Y);
}

void TSpectrumOverlays::LAMMouseUp(QLabel* label) {
    if (!Drag_.Active || Drag_.Source != label)
        return;
    Drag_ = {};
    const auto i = static_cast<std::size_t>(std::find(LA.begin(), LA.end(), label) - LA.begin());
    AnnoPos_[i] =
        LabelFractionOfPosition(Graph(), label->x(), label->y(), label->height(), AnnoPos_[i]);
}

void TSpectrumOverlays::BDefaultClick() {
    AnnoPos_ = DefaultLabelFractions();
    RunFormResize();
}

// ---------------------------------------------------------------------------------------------
// Meters and the re-layout

void TSpectrumOverlays::CMTransClick() {
    ApplyMeterBackgrounds();
}

void TSpectrumOverlays::ApplyMeterBackgrounds() {
    const bool transparent = CMTrans->isChecked();
    const auto apply = [transparent](const std::vector<QLabel*>& labels, TColour back) {
        for (QLabel* label : labels) {
            if (!label)
                continue;
            if (!transparent) {
                QPalette palette = label->palette();
                palette.setColor(QPalette::Window, ToQColor(back, palette));
                label->setPalette(palette);
            }
            label->setAutoFillBackground(!transparent);
        }
    };
    apply(SpectrumMeters_, Settings_.SpecBackColor);
    apply(ScopeMeters_, Settings_.ScopeBackColor);
}

void TSpectrumOverlays::PlaceOverlays() {
    UpdateMarkerText();
    CPosChange();
    EAFSChange();
    ApplyMeterBackgrounds();
    if (Drag_.Active && Drag_.Source == Tab_.PaintBox2)
        LCursor->raise();
}
