// The meters' look while no blocks arrive: greyed from the end of sampling to the next start.
#include "ui/TForm1.h"

#include "ui/scope/ScopeTab.h"
#include "ui/spectrum/SpectrumTab.h"

#include <QGraphicsEffect>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>

#include <memory>

namespace {

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
