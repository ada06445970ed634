// SPDX-License-Identifier: GPL-3.0-or-later
// The meters' look while no blocks arrive: greyed from the end of sampling to the next start;
// and the watch that ends a run whose blocks have stopped arriving.
#include "ui/TForm1.h"

#include "ui/scope/ScopeTab.h"
#include "ui/spectrum/SpectrumTab.h"

#include <QGraphicsEffect>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

#include <memory>

namespace {

// How much longer the first block of a run may take: the time the sound-card engine gives its
// devices to open before it reports them as not answering (its OpenTimeout), so that a device
// that does not open gives that message alone.
constexpr std::chrono::seconds kStallStartAllowance{5};

// Draws its widget in greys of low contrast: every pixel's grey level g = qGray(r, g, b) becomes
// 128 + (g - 128) / 3 with its alpha kept, so black or coloured text reads as mid-grey ink.
// Owned by the widget it is set on; main thread.
class TStaleEffect final : public QGraphicsEffect {
public:
    using QGraphicsEffect::QGraphicsEffect;

protected:
    void draw(QPainter* painter) override {
        QPoint offset;
        const QPixmap source = sourcePixmap(Qt::DeviceCoordinates, &offset);
        QImage image = source.toImage().convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                const int alpha = qAlpha(row[x]);
                if (alpha == 0)
                    continue;
                const QRgb plain = qUnpremultiply(row[x]);
                const int grey = 128 + (qGray(plain) - 128) / 3;
                row[x] = qPremultiply(qRgba(grey, grey, grey, alpha));
            }
        }
        const QTransform saved = painter->worldTransform();
        painter->setWorldTransform(QTransform());
        painter->drawImage(offset, image);
        painter->setWorldTransform(saved);
    }
};

} // namespace

void TForm1::ShowReadingsStale(bool stale) {
    ReadingsStale_ = stale;
    if (!SpectrumTab_ || !ScopeTab_)
        return;
    QWidget* const readings[] = {LSN_M,
                                 LCus,
                                 ProgressBar1,
                                 SpectrumTab_->LSN,
                                 SpectrumTab_->LS,
                                 SpectrumTab_->LSp,
                                 ScopeTab_->LSN_O,
                                 ScopeTab_->LCS};
    for (QWidget* reading : readings) {
        if (!reading)
            continue;
        if (stale && !dynamic_cast<TStaleEffect*>(reading->graphicsEffect()))
            reading->setGraphicsEffect(new TStaleEffect(reading)); // the widget takes it
        else if (!stale && reading->graphicsEffect())
            reading->setGraphicsEffect(nullptr); // deletes the effect
    }
}

void TForm1::WatchForStall(bool on) {
    if (!on) {
        StallWatch_.Stop();
        if (StallTimer_)
            StallTimer_->stop();
        return;
    }
    if (!StallTimer_) {
        StallTimer_ = new QTimer(this);
        connect(StallTimer_, &QTimer::timeout, this, [this] { CheckForStall(); });
    }
    const auto limit = StallLimit(AStream_->InputDevice.SamplesPerBuf,
                                  AStream_->InputDevice.SamplingRate, Env_.StallFloor);
    StallWatch_.Start(std::chrono::steady_clock::now(), limit, kStallStartAllowance);
    // Eight looks per limit: a stall shows at most an eighth of the limit late.
    const auto tick = std::clamp(std::chrono::duration_cast<std::chrono::milliseconds>(limit / 8),
                                 std::chrono::milliseconds(20), std::chrono::milliseconds(250));
    StallTimer_->start(tick);
}

void TForm1::CheckForStall() {
    if (!StallWatch_.Check(std::chrono::steady_clock::now()))
        return;
    // The run has ended as far as the user can tell: stop it (which greys the meters) and say
    // so once. Whatever the stopped engine would still report is dropped with it.
    const std::string message = StallMessage(State_.SelectedDeviceName, StallWatch_.Limit());
    if (Sampling()) {
        SpeedButton1->setChecked(false);
        SpeedButton1Click();
    }
    ShowMessage(QString::fromStdString(message));
}
