// SPDX-License-Identifier: GPL-3.0-or-later
// The screenshot tool: its settings group and menu items, the screenshot procedure, F9, the
// transparent mode and "Exit".
#include "ui/screenshot/ScreenshotTool.h"

#include "core/NumberText.h"
#include "files/AtomicFile.h"
#include "ui/TForm1.h"
#include "ui/WidgetNaming.h"
#include "ui/peak/PeakTab.h"
#include "ui/scope/ScopeTab.h"
#include "ui/screenshot/SeeThrough.h"
#include "ui/spectrum/SpectrumOverlays.h"
#include "ui/spectrum/SpectrumTab.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QStandardPaths>
#include <QTabWidget>

#include <array>
#include <stdexcept>
#include <vector>

namespace {

constexpr int kMaxFontSize = 500; // points; larger sizes are taken for typing errors

// A font size typed into a field: a whole number from 1 to kMaxFontSize, else EConvertError.
int FontSizeOrThrow(const QString& text) {
    const std::int32_t size = WholeNumberOrThrow(text.toStdString());
    if (size < 1 || size > kMaxFontSize)
        throw EConvertError("'" + text.toStdString() + "' is not a valid font size");
    return size;
}

void SetPointSize(QWidget* widget, int size) {
    QFont font = widget->font();
    if (font.pointSize() == size)
        return;
    font.setPointSize(size);
    widget->setFont(font);
}

} // namespace

TScreenshotTool::TScreenshotTool(TForm1& form, QMenu* settingsMenu, QMenuBar* menuBar,
                                 TScreenshotHooks hooks)
    : TViewTab(Named<QGroupBox>(&form, "GroupShot", "Screenshot"), {}), Form_(form),
      Hooks_(std::move(hooks)) {
    GroupShot = static_cast<QGroupBox*>(Page);
    GroupShot->hide(); // shown where the window puts it (its settings page)
    BuildGroup();
    BuildMenus(settingsMenu, menuBar);
    PrepareSeeThrough();
}

void TScreenshotTool::PrepareSeeThrough() {
    // The alpha channel of a window is chosen when its native window is made, so the window gets
    // one before it is first shown, wherever the window system composes. The window itself then
    // paints no background; the menu bar and the client area paint theirs, opaque, so the window
    // looks as without an alpha channel until the holes of the transparent mode open.
    const bool composes = Hooks_.WindowComposes ? Hooks_.WindowComposes() : WindowSystemComposes();
    if (!composes || Form_.testAttribute(Qt::WA_WState_Created))
        return;
    Form_.setAttribute(Qt::WA_TranslucentBackground, true);
    for (QWidget* part : {static_cast<QWidget*>(Form_.menuBar()), ClientArea()})
        part->setAutoFillBackground(true);
    Holes_ = new TSeeThroughHoles(&Form_); // owned by the window
    for (QWidget* shape : {static_cast<QWidget*>(Form_.SpectrumTab().SpecBack),
                           static_cast<QWidget*>(Form_.ScopeTab().ScopeBack),
                           static_cast<QWidget*>(Form_.PeakTab().PeakBack)})
        Holes_->Watch(shape);
}

bool TScreenshotTool::SeeThrough() const {
    return Holes_ && Holes_->Open();
}

TScreenshotTool::~TScreenshotTool() = default;

void TScreenshotTool::BuildGroup() {
    auto* form = new QFormLayout(GroupShot);
    auto* size = new QHBoxLayout;
    ESX = Named<QLineEdit>(GroupShot, "ESX", QString::number(Size_.Width));
    ESY = Named<QLineEdit>(GroupShot, "ESY", QString::number(Size_.Height));
    size->addWidget(new QLabel("x=", GroupShot));
    size->addWidget(ESX);
    size->addWidget(new QLabel("y=", GroupShot));
    size->addWidget(ESY);
    form->addRow("Screenshot Size (Pixels)", size);
    ESFS = Named<QLineEdit>(GroupShot, "ESFS", QString::number(SFont_));
    form->addRow("Screenshot Font Size", ESFS);
    ENFS = Named<QLineEdit>(GroupShot, "ENFS", QString::number(NFont_));
    form->addRow("Meters  Font Size", ENFS);
    CWhite = Named<QCheckBox>(GroupShot, "CWhite", "White Background");
    form->addRow("", CWhite);
    CPNG = Named<QCheckBox>(GroupShot, "CPNG", "Also save screenshots as PNG");
    form->addRow("", CPNG);

    for (QLineEdit* edit : {ESX, ESY, ESFS, ENFS})
        ConnectEdit(edit, [this, edit](bool leaving) { ApplyEdit(edit, leaving); });
}

void TScreenshotTool::BuildMenus(QMenu* settingsMenu, QMenuBar* menuBar) {
    Clipboard1 = menuBar->addMenu("Clipboard");
    Clipboard1->setObjectName("Clipboard1");
    SaveSpec = NamedAction(Clipboard1, "SaveSpec", "Spectrum to ...");
    SaveScope = NamedAction(Clipboard1, "SaveScope", "Scope to ...");
    settingsMenu->addSeparator();
    Trans = NamedAction(settingsMenu, "Trans", "Transparent", true);
    settingsMenu->addSeparator();
    Exit1 = NamedAction(settingsMenu, "Exit1", "Exit");
    ConnectClick(this, SaveSpec, [this] { SaveSpecClick(); });
    ConnectClick(this, SaveScope, [this] { SaveScopeClick(); });
    ConnectClick(this, Trans, [this] { TransClick(); });
    ConnectClick(this, Exit1, [this] { Exit1Click(); });
}

TScreenshotLimits TScreenshotTool::Limits() const {
    if (Hooks_.Limits)
        return Hooks_.Limits();
    const QScreen* screen = Form_.screen() ? Form_.screen() : QGuiApplication::primaryScreen();
    const QSize desktop = screen ? screen->virtualSize() : QSize();
    return ScreenshotLimits(desktop.width(), desktop.height(), FreeMemoryBytes());
}

// ---------------------------------------------------------------------------------------------
// The settings group

void TScreenshotTool::ESXChange() {
    const std::string text = ESX->text().toStdString();
    WholeNumberOrThrow(text); // a non-integer raises the conversion error
    const auto width = ScreenshotWidthOf(text, Size_.Height, Limits());
    if (!width)
        throw EConvertError("'" + text + "' is not a valid screenshot width");
    Size_.Width = *width;
}

void TScreenshotTool::ESYChange() {
    const std::string text = ESY->text().toStdString();
    WholeNumberOrThrow(text);
    const auto height = ScreenshotHeightOf(text, Size_.Width, Limits());
    if (!height)
        throw EConvertError("'" + text + "' is not a valid screenshot height");
    Size_.Height = *height;
}

void TScreenshotTool::ESFSChange() {
    SFont_ = FontSizeOrThrow(ESFS->text());
}

void TScreenshotTool::ENFSChange() {
    NFont_ = FontSizeOrThrow(ENFS->text());
    for (QLabel* label : {Form_.ScopeTab().LSN_O, Form_.ScopeTab().LCS, Form_.SpectrumTab().LSN,
                          Form_.SpectrumTab().LS, Form_.SpectrumTab().LSp})
        SetPointSize(label, NFont_);
    RunFormResize();
}

bool TScreenshotTool::ApplyEdit(QLineEdit* edit, bool leaving) {
    void (TScreenshotTool::*handler)() = nullptr;
    int inForce = 0;
    if (edit == ESX) {
        handler = &TScreenshotTool::ESXChange;
        inForce = Size_.Width;
    } else if (edit == ESY) {
        handler = &TScreenshotTool::ESYChange;
        inForce = Size_.Height;
    } else if (edit == ESFS) {
        handler = &TScreenshotTool::ESFSChange;
        inForce = SFont_;
    } else {
        handler = &TScreenshotTool::ENFSChange;
        inForce = NFont_;
    }
    const bool applied = EditChanged([this, handler] { (this->*handler)(); }, leaving);
    if (!applied && leaving)
        edit->setText(QString::number(inForce)); // the previous value stays
    return applied;
}

// ---------------------------------------------------------------------------------------------
// Client area

QWidget* TScreenshotTool::ClientArea() const {
    return Form_.centralWidget();
}

TPixelSize TScreenshotTool::ClientSize() const {
    const QSize size = ClientArea()->size();
    return {size.width(), size.height()};
}

void TScreenshotTool::AllowSmallWindow(bool allow) {
    // An explicit minimum of 1 x 1 overrides the one the layouts give the window (the settings
    // page's groups would keep it larger than a screenshot); 0 x 0 hands it back to them.
    Form_.setMinimumSize(allow ? QSize(1, 1) : QSize(0, 0));
    if (!allow && Form_.layout())
        Form_.layout()->activate();
}

void TScreenshotTool::SetClientSize(TPixelSize size) {
    const QSize client = ClientArea()->size();
    const QSize frame = Form_.size() - client; // the menu bar and anything else around it
    Form_.resize(frame.width() + size.Width, frame.height() + size.Height);
}

// ---------------------------------------------------------------------------------------------
// Screenshots

void TScreenshotTool::SaveSpecClick() {
    TakeGuarded(true);
}

void TScreenshotTool::SaveScopeClick() {
    TakeGuarded(false);
}

void TScreenshotTool::TakeGuarded(bool spectrum) {
    // The window has been restored by the time a failure arrives here.
    try {
        TakeScreenshot(spectrum);
    } catch (const std::exception& e) {
        ShowMessage(QString("The picture could not be taken: %1").arg(e.what()));
    }
}

void TScreenshotTool::TakeScreenshot(bool spectrum) {
    if (Taking_)
        return;
    TForm1& f = Form_;
    TSpectrumTab& spectrumTab = f.SpectrumTab();
    TScopeTab& scope = f.ScopeTab();
    TSpectrumOverlays& overlays = f.Overlays();
    QWidget* client = ClientArea();
    const std::array<QLabel*, 5> meters = {scope.LSN_O, spectrumTab.LSN, spectrumTab.LS,
                                           spectrumTab.LSp, scope.LCS};

    // 1. What the window is now. Everything below is put back from this, also when the picture
    // cannot be taken: the tab, the colour, the size, the pages' geometry (a page that is not
    // shown keeps the layout of its last showing), and each label's font and place.
    QWidget* pages[] = {spectrumTab.Page, scope.Page};
    std::vector<QLabel*> labels(overlays.LA.begin(), overlays.LA.end());
    labels.push_back(overlays.LMar);
    labels.insert(labels.end(), overlays.LM.begin(), overlays.LM.end());
    labels.insert(labels.end(), meters.begin(), meters.end());
    struct TRemembered {
        int Tab = 0;
        QPalette Palette;
        bool OwnPalette = false;
        QSize WindowSize;
        TPixelSize Client;
        std::array<QRect, 2> PageGeometry;
        std::array<bool, 2> PageFilled = {};
        std::vector<QFont> Fonts;
        std::vector<QPoint> Places;                // in the label's page
        std::array<TPixelPosition, 6> Annotations; // each label's own left and top
        bool SeeThrough = false;
    } was;
    was.Tab = f.PageControl1->currentIndex();
    was.Palette = f.palette();
    was.OwnPalette = f.testAttribute(Qt::WA_SetPalette);
    was.WindowSize = f.size();
    was.Client = ClientSize();
    was.SeeThrough = SeeThrough();
    for (std::size_t k = 0; k < 2; ++k) {
        was.PageGeometry[k] = pages[k]->geometry();
        was.PageFilled[k] = pages[k]->autoFillBackground();
    }
    for (QLabel* label : labels) {
        was.Fonts.push_back(label->font());
        was.Places.push_back(label->pos());
    }
    for (std::size_t i = 0; i < 6; ++i)
        was.Annotations[i] = {overlays.LA[i]->x(), overlays.LA[i]->y()};

    Taking_ = true;
    TRestoreOnExit restore([&] {
        f.PageControl1->setCurrentIndex(was.Tab);
        if (Holes_)
            Holes_->SetOpen(was.SeeThrough);
        if (was.OwnPalette)
            f.setPalette(was.Palette);
        else
            f.setPalette(QPalette());
        f.resize(was.WindowSize);
        if (!SizeMode_.On())
            AllowSmallWindow(false);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        for (std::size_t k = 0; k < 2; ++k) {
            pages[k]->setAutoFillBackground(was.PageFilled[k]);
            if (f.PageControl1->currentWidget() != pages[k])
                pages[k]->setGeometry(was.PageGeometry[k]);
        }
        overlays.SetAnnotationPlacing(std::nullopt);
        overlays.ShowMarkerFont(overlays.MarkerFontSize());
        const bool onSpectrum = f.PageControl1->currentWidget() == f.TabSpectrum;
        for (QCheckBox* legend : f.MemLegends)
            legend->setVisible(onSpectrum);
        f.C->setVisible(onSpectrum);
        spectrumTab.SpecBack->setVisible(true);
        scope.ScopeBack->setVisible(true);
        f.FormResize();
        for (std::size_t k = 0; k < labels.size(); ++k) {
            labels[k]->setFont(was.Fonts[k]);
            labels[k]->adjustSize();
            labels[k]->move(was.Places[k]);
        }
        Taking_ = false;
    });

    // 2. The tab of the picture.
    f.PageControl1->setCurrentWidget(PicturePage_ ? PicturePage_
                                     : spectrum   ? f.TabSpectrum
                                                  : f.TabScope);
    // 3. The client area at the screenshot size (within what the screen and memory allow now).
    const TPixelSize shot = LimitScreenshotSize(Size_, Limits());
    const TScreenshotScale scale = ScreenshotScale(was.Client, shot);
    AllowSmallWindow(true);
    SetClientSize(shot);
    // 4. Fonts: the screenshot size for the marker read-outs and the annotations; the meters
    // scaled with the picture, at most at the screenshot size (the custom read-out at most at
    // the meter size), so that in a small picture they leave the graph in sight.
    for (std::size_t k = 0; k + 1 < meters.size(); ++k)
        SetPointSize(meters[k], PictureMeterFontSize(NFont_, SFont_, scale));
    SetPointSize(scope.LCS, PictureMeterFontSize(NFont_, NFont_, scale));
    if (spectrum) {
        overlays.ShowMarkerFont(SFont_);
        // 5. Each annotation at its own left and top scaled with the client area.
        TSpectrumOverlays::TAnnotationPlacing placing;
        placing.FontSize = SFont_;
        for (std::size_t i = 0; i < 6; ++i) {
            const TPixelPosition at = ScaledLabelPosition(was.Annotations[i], scale);
            placing.Places[i] = QPoint(at.Left, at.Top);
        }
        overlays.SetAnnotationPlacing(placing);
    }
    // 6. White around the graph; the graph's background only without "White Background".
    QPalette white = f.palette();
    white.setColor(QPalette::Window, Qt::white);
    f.setPalette(white);
    spectrumTab.Page->setAutoFillBackground(true); // white over the tab frame's own shade
    scope.Page->setAutoFillBackground(true);
    for (QCheckBox* legend : f.MemLegends)
        legend->hide();
    f.C->hide();
    (spectrum ? spectrumTab.SpecBack : scope.ScopeBack)->setVisible(!CWhite->isChecked());
    // The picture is opaque: the key colour where the window is see-through.
    if (Holes_)
        Holes_->SetOpen(false);
    // 7. The layout of the new size, as a resize makes it.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    f.FormResize();

    // 8. The picture of the client area, onto the clipboard.
    QImage picture = Hooks_.Grab ? Hooks_.Grab(client) : client->grab().toImage();
    if (Holes_ && picture.hasAlphaChannel()) // a window with an alpha channel gives one
        picture = picture.convertToFormat(QImage::Format_RGB32);
    const QSize got = picture.size();
    // 9. The window as it was.
    restore.Run();
    if (picture.isNull()) {
        ShowMessage("The picture could not be taken.");
        return;
    }
    if (got != QSize(shot.Width, shot.Height)) {
        ShowMessage(QString("The window could not be made %1 x %2 pixels (it became %3 x %4).")
                        .arg(shot.Width)
                        .arg(shot.Height)
                        .arg(got.width())
                        .arg(got.height()));
        return;
    }
    Picture_ = picture;
    QGuiApplication::clipboard()->setImage(Picture_);
    if (CPNG->isChecked())
        OfferPictureFile(spectrum);
}

QString TScreenshotTool::PictureFolder() const {
    if (!PictureFolder_.isEmpty())
        return PictureFolder_;
    // A folder that does not exist would be taken by the dialog for a file name.
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!pictures.isEmpty() && QDir().mkpath(pictures))
        return pictures;
    return QDir::homePath();
}

QString TScreenshotTool::PictureFileName(bool spectrum, const QDateTime& at) {
    return QString("phonoscale-%1-%2.png")
        .arg(spectrum ? "spectrum" : "scope", at.toString("yyyyMMdd-HHmmss"));
}

void TScreenshotTool::OfferPictureFile(bool spectrum) {
    const QString proposed =
        QDir(PictureFolder()).filePath(PictureFileName(spectrum, QDateTime::currentDateTime()));
    QString path = Hooks_.ChoosePictureFile
                       ? Hooks_.ChoosePictureFile(proposed)
                       : QFileDialog::getSaveFileName(
                             &Form_, "Save the picture also as a PNG file (Cancel: clipboard only)",
                             proposed, "PNG picture (*.png)");
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += ".png";
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!Picture_.save(&buffer, "PNG")) {
        ShowMessage("The picture could not be encoded as PNG.");
        return;
    }
    try {
        WriteFileAtomically(
            path.toStdString(),
            std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    } catch (const EFileWriteError& e) {
        ShowMessage(QString::fromStdString(e.what()));
        return;
    }
    PictureFolder_ = QFileInfo(path).absolutePath();
}

void TScreenshotTool::ShowMessage(const QString& text) {
    if (Hooks_.ShowMessage)
        Hooks_.ShowMessage(text);
    else
        QMessageBox::information(&Form_, "Phonoscale", text);
}

// ---------------------------------------------------------------------------------------------
// F9, transparent mode, Exit

void TScreenshotTool::ToggleScreenshotSize() {
    const TPixelSize next = SizeMode_.Toggle(ClientSize(), LimitScreenshotSize(Size_, Limits()));
    if (SizeMode_.On())
        AllowSmallWindow(true);
    SetClientSize(next);
    if (!SizeMode_.On())
        AllowSmallWindow(false);
}

void TScreenshotTool::LeaveScreenshotSize() {
    if (const auto normal = SizeMode_.Leave()) {
        SetClientSize(*normal);
        AllowSmallWindow(false);
    }
}

void TScreenshotTool::TransClick() {
    Trans->setChecked(!Trans->isChecked());
    const bool on = Trans->isChecked();
    Form_.ViewSettings_.TransparentMode = on;
    Form_.PeakTab().SetTransparent(on);
    if (Holes_)
        Holes_->SetOpen(on); // the key-coloured shapes become holes to the desktop
    RunFormResize();         // the spectrum and scope shapes take their colour in the re-layout
}

void TScreenshotTool::Exit1Click() {
    Form_.close(); // the close handler writes the settings
}
