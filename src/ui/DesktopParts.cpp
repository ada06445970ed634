// SPDX-License-Identifier: GPL-3.0-or-later
// What a desktop expects of the window: its icon, menu mnemonics and shortcuts, the Help menu
// and user guide, the status bar and the controls' tips.
#include "ui/TForm1.h"

#include "core/StatusLine.h"
#include "core/WindowCalibration.h"
#include "ui/ControlTips.h"
#include "ui/WidgetNaming.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>

#include <utility>

namespace {

// How often the status bar looks at the state, ms.
constexpr int kStatusIntervalMs = 500;

} // namespace

QString TForm1::UserGuideFile() {
    const QString installed =
        QCoreApplication::applicationDirPath() + "/../share/doc/phonoscale/guide/index.html";
    if (QFileInfo::exists(installed))
        return QFileInfo(installed).canonicalFilePath();
#ifdef PHONOSCALE_BUILD_GUIDE
    if (QFileInfo::exists(QStringLiteral(PHONOSCALE_BUILD_GUIDE)))
        return QStringLiteral(PHONOSCALE_BUILD_GUIDE);
#endif
    return {};
}

void TForm1::BuildDesktopParts() {
    // The icon of the window (and so of the task bar); the desktop entry names the same one.
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QString(":/phonoscale/phonoscale-%1.png").arg(size), QSize(size, size));
    setWindowIcon(icon);

    // Alt+letter opens a menu.
    const std::pair<const char*, const char*> titles[] = {{"Settings1", "&Settings"},
                                                          {"Spectrum1", "S&pectrum"},
                                                          {"Display1", "&Meters"},
                                                          {"Clipboard1", "&Clipboard"}};
    for (const auto& [name, title] : titles)
        if (auto* menu = menuBar()->findChild<QMenu*>(name))
            menu->setTitle(title);

    auto* help = menuBar()->addMenu("&Help");
    help->setObjectName("Help1");
    HelpGuide = NamedAction(help, "HelpGuide", "User &Guide");
    HelpAbout = NamedAction(help, "HelpAbout", "&About Phonoscale");
    connect(HelpGuide, &QAction::triggered, this, [this] { HelpGuideClick(); });
    connect(HelpAbout, &QAction::triggered, this,
            [this] { PageControl1->setCurrentWidget(TabAbout); });

    // Standard shortcuts where they mean something here; r, F8, F9, F11 and F12 keep theirs.
    HelpGuide->setShortcut(QKeySequence(Qt::Key_F1));
    BLoad->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    BSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    if (auto* exit = findChild<QAction*>("Exit1"))
        exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    Run->setShortcut(QKeySequence(Qt::Key_F5));

    // Opaque like the menu bar, also when the window is see-through ("Transparent").
    statusBar()->setAutoFillBackground(true);
    StatusInfo = Named<QLabel>(statusBar(), "StatusInfo", "");
    statusBar()->addPermanentWidget(StatusInfo);
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] { UpdateStatusBar(); });
    timer->start(kStatusIntervalMs);

    ApplyControlTips(this);
}

void TForm1::HelpGuideClick() {
    const QString file = UserGuideFile();
    const bool shown =
        !file.isEmpty() && (Env_.OpenGuide ? Env_.OpenGuide(file)
                                           : QDesktopServices::openUrl(QUrl::fromLocalFile(file)));
    if (!shown)
        ShowMessage(file.isEmpty() ? QString("The user guide is not installed.")
                                   : "The user guide could not be opened:\n" + file);
}

void TForm1::UpdateStatusBar() {
    TStatusFields fields;
    if (CN4->currentIndex() > 0)
        fields.Engine = CN4->currentText().toStdString();
    else
        fields.Engine = CEngine->currentIndex() == 1 ? "JACK" : "ALSA";
    if (CN4->currentIndex() == 0)
        fields.Device = ComboAudioDevice->currentText().toStdString();
    fields.RateHz = State_.SampleRate;
    fields.Bits = State_.SampleBits;
    fields.N = State_.BlockLength;
    if (StatusEnbwKind_ != State_.WindowKind || StatusEnbwLength_ != State_.BlockLength) {
        StatusEnbw_ = EquivalentNoiseBins(WindowWeights(State_));
        StatusEnbwKind_ = State_.WindowKind;
        StatusEnbwLength_ = State_.BlockLength;
    }
    fields.EnbwBins = StatusEnbw_;
    const TStreamHealth health = SourceHealth();
    fields.Gaps = health.Gaps();
    const QString text = QString::fromStdString(FormatStatusLine(fields));
    if (StatusInfo->text() != text)
        StatusInfo->setText(text);
}
