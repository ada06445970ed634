// SPDX-License-Identifier: GPL-3.0-or-later
// Captions laid out once and drawn from their layout on every frame.
#pragma once

#include <QFont>
#include <QPainter>
#include <QStaticText>
#include <QString>

#include <unordered_map>

// The views draw the same few captions (grid markings) on every frame; shaping their text is
// most of what drawing them costs. This keeps each caption's layout for the font it was laid
// out with and draws it at a baseline point, as QPainter::drawText(x, y, text) does.
class TStaticCaptions {
public:
    void Draw(QPainter& painter, int x, int baseline, const QString& text);

private:
    // More distinct captions than a view shows at once: the old ones are dropped.
    static constexpr std::size_t kMaxCaptions = 256;
    std::unordered_map<QString, QStaticText> Laid_;
    QFont Font_;
};
