// SPDX-License-Identifier: GPL-3.0-or-later
// The screenshot on a real X display: another process reads the clipboard and gets the picture.
#include "WindowRig.h"

#include "ui/screenshot/ScreenshotTool.h"

#include <QAction>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// Runs `program` with `arguments` while this process keeps serving the X clipboard (the reader
// asks the owner, which answers from its event loop). Its standard output; empty on a failure.
QByteArray RunServingClipboard(const QString& program, const QStringList& arguments) {
    QProcess process;
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    process.start(program, arguments);
    loop.exec();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << program.toStdString() << " did not finish";
        return {};
    }
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return process.readAllStandardOutput();
}

} // namespace

TEST(ClipboardOnX11, AnotherProcessReadsThePictureThatWasTaken) {
    if (QGuiApplication::platformName() != "xcb")
        GTEST_SKIP() << "needs an X display (run under xvfb-run with QT_QPA_PLATFORM=xcb)";
    const QString xclip = QStandardPaths::findExecutable("xclip");
    if (xclip.isEmpty())
        GTEST_SKIP() << "xclip is not installed";

    uitest::Window w(uitest::kBothWays, {}, [](TFormEnvironment& env) {
        env.ChoosePictureFile = [](const QString&) { return QString(); }; // clipboard only
    });
    TScreenshotTool& tool = w.form->Screenshots();
    tool.SaveSpec->trigger();
    ASSERT_TRUE(w.messages.empty()) << w.messages.front().toStdString();
    const QImage taken = tool.LastPicture().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(taken.size(), QSize(300, 200));

    const QByteArray targets =
        RunServingClipboard(xclip, {"-selection", "clipboard", "-t", "TARGETS", "-o"});
    EXPECT_TRUE(targets.contains("image/png")) << targets.toStdString();
    const QByteArray png =
        RunServingClipboard(xclip, {"-selection", "clipboard", "-t", "image/png", "-o"});
    ASSERT_FALSE(png.isEmpty());
    const QImage read = QImage::fromData(png, "PNG").convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(read.size(), taken.size());
    EXPECT_EQ(read, taken); // every pixel

    // The Scope tab's picture replaces it.
    tool.SaveScope->trigger();
    const QImage scope = tool.LastPicture().convertToFormat(QImage::Format_RGB32);
    const QImage readScope =
        QImage::fromData(
            RunServingClipboard(xclip, {"-selection", "clipboard", "-t", "image/png", "-o"}), "PNG")
            .convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(readScope, scope);
    EXPECT_NE(readScope, taken);
}
