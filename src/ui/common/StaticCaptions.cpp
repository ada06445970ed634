// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/common/StaticCaptions.h"

#include <QFontMetrics>

void TStaticCaptions::Draw(QPainter& painter, int x, int baseline, const QString& text) {
    if (painter.font() != Font_ || Laid_.size() >= kMaxCaptions) {
        Laid_.clear();
        Font_ = painter.font();
    }
    auto [at, added] = Laid_.try_emplace(text, text);
    if (added) {
        at->second.setTextFormat(Qt::PlainText);
        at->second.setPerformanceHint(QStaticText::AggressiveCaching);
        at->second.prepare(painter.transform(), Font_);
    }
    // A static text stands at its top left corner; drawText's y is the baseline.
    painter.drawStaticText(x, baseline - QFontMetrics(Font_).ascent(), at->second);
}
