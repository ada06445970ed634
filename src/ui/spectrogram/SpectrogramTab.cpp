// SPDX-License-Identifier: GPL-3.0-or-later
// The "Spectrogram" tab: the spectrum over time as a scrolling picture with its colour scale.
#include "ui/spectrogram/SpectrogramTab.h"

#include "core/MeasurementState.h"
#include "core/NumberText.h"
#include "ui/WidgetNaming.h"
#include "ui/common/InstrumentRows.h"
#include "ui/common/LevelScale.h"
#include "ui/common/ViewMapping.h"
#include "ui/common/ViewPaintBox.h"
#include "ui/common/ViewSettings.h"

#include "core/LevelUnits.h"
#include <QComboBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kScaleGap = 6;    // pixels between the graph and the colour scale
constexpr int kScaleWidth = 12; // width of the colour scale, pixels
constexpr int kRowsPerWheelStep = 10;

// "1.234 kHz": four significant digits and an SI prefix.
QString FrequencyText(double hz) {
    const TEngineeringValue v = FormatEngineering(hz);
    return QString::number(v.Mantissa, 'g', 4) + " " + QString::fromStdString(v.Prefix) + "Hz";
}

} // namespace

TSpectrogramTab::TSpectrogramTab(TInstrumentHost& host)
    : TInstrumentTab(host, "Spectrogram", "TabSpectrogram") {
    History_.WindowKind = [&host] { return host.State().WindowKind; };
    History_.SetActive(false);

    auto* layout = new QVBoxLayout(Page);
    auto* controls = new QHBoxLayout;
    ESgTop = Named<QLineEdit>(Page, "ESgTop", "0");
    ESgSpan = Named<QLineEdit>(Page, "ESgSpan", "120");
    for (QLineEdit* edit : {ESgTop, ESgSpan})
        edit->setMaximumWidth(70);
    CSgNewest = Named<QComboBox>(Page, "CSgNewest");
    CSgNewest->addItems({"at the top", "at the right"});
    CSgInterval = Named<QComboBox>(Page, "CSgInterval");
    CSgInterval->addItems({"each block", "50 ms", "0.1 s", "0.2 s", "0.5 s", "1 s", "2 s"});
    BSgPause = Named<QPushButton>(Page, "BSgPause", "Pause");
    BSgPause->setCheckable(true);
    LSgCursor = Named<QLabel>(Page, "LSgCursor");
    controls->addWidget(new QLabel("Top", Page));
    controls->addWidget(ESgTop);
    controls->addWidget(new QLabel("dB   Span", Page));
    controls->addWidget(ESgSpan);
    controls->addWidget(new QLabel("dB   Newest row", Page));
    controls->addWidget(CSgNewest);
    controls->addWidget(new QLabel("Row", Page));
    controls->addWidget(CSgInterval);
    controls->addWidget(BSgPause);
    controls->addSpacing(12);
    controls->addWidget(LSgCursor, 1);
    layout->addLayout(controls);
    PaintSg = new TViewPaintBox(Page, "PaintSg");
    PaintSg->setMouseTracking(true);
    PaintSg->installEventFilter(this);
    layout->addWidget(PaintSg, 1);
    AttachPaintBox(
        PaintSg, [this](QPainter& painter) { Paint(painter); }, nullptr);
    PaintSg->OnMouseMove = [this](QMouseEvent* e) {
        ShowCursor(static_cast<int>(e->position().x()), static_cast<int>(e->position().y()));
    };
    PaintSg->OnMouseDown = PaintSg->OnMouseMove;

    ConnectEdit(ESgTop, [this](bool leaving) { ApplyEdit(ESgTop, leaving); });
    ConnectEdit(ESgSpan, [this](bool leaving) { ApplyEdit(ESgSpan, leaving); });
    connect(CSgNewest, &QComboBox::currentIndexChanged, this, [this] { CSgNewestChange(); });
    connect(CSgInterval, &QComboBox::currentIndexChanged, this, [this] { CSgIntervalChange(); });
    connect(BSgPause, &QPushButton::clicked, this, [this] { BSgPauseClick(); });
    host.AddPictureItem("Spectrogram to ...", "SaveSpectrogram", Page);
}

std::vector<TSettingsRow> TSpectrogramTab::SettingsRows() {
    return {EditRow(
                "SgTop=", ESgTop, [this] { ApplyEdit(ESgTop, true); }, "-10"),
            EditRow(
                "SgSpan=", ESgSpan, [this] { ApplyEdit(ESgSpan, true); }, "90"),
            ComboRow("SgNewest=", CSgNewest), ComboRow("SgInterval=", CSgInterval)};
}

// ---------------------------------------------------------------------------------------------
// Handlers

bool TSpectrogramTab::ApplyEdit(QLineEdit* edit, bool leaving) {
    const bool top = edit == ESgTop;
    const bool applied =
        EditChanged([this, top] { top ? ESgTopChange() : ESgSpanChange(); }, leaving);
    if (!applied && leaving) // the value in force stays
        edit->setText(QString::fromStdString(FormatGeneral(top ? TopDb_ : SpanDb_)));
    return applied;
}

void TSpectrogramTab::ESgTopChange() {
    TopDb_ = NumberOrThrow(ESgTop->text().toStdString());
    Refresh();
}

void TSpectrogramTab::ESgSpanChange() {
    const std::string text = ESgSpan->text().toStdString();
    const double span = NumberOrThrow(text);
    if (!(span >= 1.0 && span <= 1000.0))
        throw EConvertError("'" + text + "' is not a span from 1 to 1000 dB");
    SpanDb_ = span;
    Refresh();
}

void TSpectrogramTab::CSgNewestChange() {
    Refresh();
}

void TSpectrogramTab::CSgIntervalChange() {
    const int item = std::clamp(CSgInterval->currentIndex(), 0,
                                static_cast<int>(std::size(IntervalSeconds)) - 1);
    History_.SetRowSeconds(IntervalSeconds[item]);
}

bool TSpectrogramTab::Paused() const {
    return BSgPause->isChecked();
}

void TSpectrogramTab::BSgPauseClick() {
    if (!Paused())
        Scroll_ = 0; // going on shows the newest rows again
    ApplyRecording();
    Refresh();
}

void TSpectrogramTab::ScrollBy(long rows) {
    if (!Paused())
        return;
    const long most = static_cast<long>(std::max<std::size_t>(History_.RowCount(), 1)) - 1;
    Scroll_ = static_cast<std::size_t>(std::clamp(static_cast<long>(Scroll_) + rows, 0L, most));
    Refresh();
}

void TSpectrogramTab::ApplyRecording() {
    History_.SetActive(Shown() && !Paused());
}

void TSpectrogramTab::PageShown() {
    TInstrumentTab::PageShown();
    ApplyRecording();
}

void TSpectrogramTab::PageHidden() {
    TInstrumentTab::PageHidden();
    ApplyRecording();
}

bool TSpectrogramTab::eventFilter(QObject* watched, QEvent* event) {
    if (watched == PaintSg && event->type() == QEvent::Wheel && Paused()) {
        const int steps = static_cast<QWheelEvent*>(event)->angleDelta().y() / 120;
        ScrollBy(static_cast<long>(steps) * kRowsPerWheelStep);
        return true;
    }
    if (watched == PaintSg && event->type() == QEvent::Leave) {
        Cursor_.reset();
        LSgCursor->clear();
    }
    return TInstrumentTab::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------
// The picture

TSpectrogramView TSpectrogramTab::CurrentView() const {
    const QRect graph = GraphRect();
    TSpectrogramView view;
    view.Width = graph.width();
    view.Height = graph.height();
    view.Newest = CSgNewest->currentIndex() == 1 ? TNewestAt::Right : TNewestAt::Top;
    view.Axis = History_.Axis();
    view.TopDb = TopDb_;
    view.SpanDb = SpanDb_;
    const MeasurementState& st = Host.State();
    view.OffsetDb = st.YOffset - DisplayRefLevel(st); // as the spectrum's trace is shown
    return view;
}

QRect TSpectrogramTab::GraphRect() const {
    const QFontMetrics fm = PaintSg->fontMetrics();
    const bool top = CSgNewest->currentIndex() != 1;
    const int left = top ? 2 : fm.horizontalAdvance("20.0 kHz") + 6;
    const int right = kScaleGap + kScaleWidth + 4 + fm.horizontalAdvance("-000 dB") + 2;
    const int above = fm.height() / 2 + 1;
    const int below = top ? fm.height() + 4 : fm.height() / 2 + 1;
    return QRect(left, above, std::max(0, PaintSg->width() - left - right),
                 std::max(0, PaintSg->height() - above - below));
}

void TSpectrogramTab::Refresh() {
    const MeasurementState& st = Host.State();
    const TViewSettings& vs = Host.ViewSettings();
    const TFrequencyRange range =
        SpectrumFrequencyRange(st.Controls.LogF, vs.Zoom, st.SampleRate, st.BlockLength,
                               st.Controls.TrackL, st.Controls.TrackU);
    History_.SetAxis({range.Min, range.Max, st.Controls.LogF});
    const std::uint64_t renders = Picture_.FullRenders();
    const std::uint64_t added = History_.RowsAdded();
    const TSpectrogramView view = CurrentView();
    const bool sameView = view == Picture_.View();
    Picture_.Update(History_, view, Scroll_);
    if (sameView && renders == Picture_.FullRenders() && added == LastAdded_)
        return; // nothing new to show
    LastAdded_ = added;
    PaintSg->update();
    if (Cursor_)
        ShowCursor(Cursor_->first, Cursor_->second); // the rows moved under the cursor
}

void TSpectrogramTab::Paint(QPainter& painter) {
    painter.fillRect(PaintSg->rect(), PaintSg->palette().window());
    const QRect graph = GraphRect();
    if (graph.width() <= 0 || graph.height() <= 0)
        return;
    Picture_.Update(History_, CurrentView(), Scroll_); // the size may have changed since
    const auto pixels = Picture_.Buffer();
    const QImage image(reinterpret_cast<const uchar*>(pixels.data()), graph.width(), graph.height(),
                       graph.width() * 4, QImage::Format_RGB32);
    for (const auto& piece : Picture_.Pieces())
        if (piece.W > 0 && piece.H > 0)
            painter.drawImage(
                QRect(graph.x() + piece.TargetX, graph.y() + piece.TargetY, piece.W, piece.H),
                image, QRect(piece.SourceX, piece.SourceY, piece.W, piece.H));
    painter.setPen(PaintSg->palette().windowText().color());
    painter.drawRect(graph.adjusted(-1, -1, 0, 0));
    PaintFrequencyCaptions(painter, graph);
    PaintColourScale(painter, graph);
}

void TSpectrogramTab::PaintFrequencyCaptions(QPainter& painter, const QRect& graph) {
    const bool top = CSgNewest->currentIndex() != 1;
    TSpectrumAxis axis;
    axis.Width = top ? graph.width() : graph.height();
    axis.Height = top ? graph.height() : graph.width();
    axis.FMin = History_.Axis().FMin;
    axis.FMax = History_.Axis().FMax;
    axis.Log = History_.Axis().Log;
    if (!History_.Axis().Valid())
        return;
    const QFontMetrics fm = painter.fontMetrics();
    for (const TFrequencyCaption& caption :
         FrequencyCaptions(axis, Host.ViewSettings().LogSubGrid)) {
        const QString text = QString::fromStdString(caption.Text);
        const int width = fm.horizontalAdvance(text);
        if (top) {
            const int x = graph.left() + caption.X;
            painter.drawLine(x, graph.bottom() + 1, x, graph.bottom() + 3);
            painter.drawText(graph.left() + CaptionLeft(caption.X, width, graph.width()),
                             graph.bottom() + 3 + fm.ascent(), text);
        } else {
            const int y = graph.bottom() - caption.X;
            painter.drawLine(graph.left() - 4, y, graph.left() - 2, y);
            const int baseline = std::clamp(y + fm.ascent() / 2, fm.ascent(), PaintSg->height());
            painter.drawText(graph.left() - 5 - width, baseline, text);
        }
    }
}

void TSpectrogramTab::PaintColourScale(QPainter& painter, const QRect& graph) {
    const QRect bar(graph.right() + kScaleGap, graph.top(), kScaleWidth, graph.height());
    const int h = bar.height();
    for (int i = 0; i < h; ++i) {
        const double db = TopDb_ - SpanDb_ * i / std::max(h - 1, 1);
        painter.fillRect(QRect(bar.left(), bar.top() + i, bar.width(), 1),
                         QColor::fromRgb(Picture_.ColourOf(db)));
    }
    painter.drawRect(bar.adjusted(-1, -1, 0, 0));
    const QFontMetrics fm = painter.fontMetrics();
    for (const TLevelMark& mark : LevelMarks(TopDb_, SpanDb_, h, 2 * fm.height())) {
        const int y = bar.top() + mark.Y;
        painter.drawLine(bar.right() + 1, y, bar.right() + 3, y);
        painter.drawText(bar.right() + 5, y + fm.ascent() / 2 - 1,
                         QString::fromStdString(FormatGeneral(mark.Db)) + " dB");
    }
}

// ---------------------------------------------------------------------------------------------
// Cursor

QString TSpectrogramTab::ReadOut(int x, int y) const {
    const auto point = Picture_.PointAt(History_, x, y);
    if (!point)
        return {};
    return QString("t %1 s   f %2   %3")
        .arg(QString::number(point->TimeS, 'f', 3), FrequencyText(point->FrequencyHz),
             point->LevelDb ? QString::number(*point->LevelDb, 'f', 1) + " dB"
                            : QString("no level"));
}

void TSpectrogramTab::ShowCursor(int boxX, int boxY) {
    Cursor_ = {boxX, boxY};
    const QRect graph = GraphRect();
    LSgCursor->setText(ReadOut(boxX - graph.x(), boxY - graph.y()));
}
