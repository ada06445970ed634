// SPDX-License-Identifier: GPL-3.0-or-later
// Conversion of the views' 32-bit colours to Qt colours, with system colours taken from a palette.
#include "ui/common/ViewMappingQt.h"

#include <QColorDialog>
#include <QWidget>

namespace {

QPalette::ColorRole RoleOfSystemColour(int index) {
    switch (index) {
    case 5: // window background
        return QPalette::Base;
    case 6:  // window frame
    case 21: // darkest 3-D shadow
        return QPalette::Shadow;
    case 7: // menu text
    case 8: // window text
        return QPalette::WindowText;
    case 13:
        return QPalette::Highlight;
    case 14:
        return QPalette::HighlightedText;
    case 15: // button face
        return QPalette::Button;
    case 16: // button shadow
        return QPalette::Dark;
    case 17: // greyed text
        return QPalette::PlaceholderText;
    case 18:
        return QPalette::ButtonText;
    case 20: // button highlight
        return QPalette::Light;
    case 22:
        return QPalette::Midlight;
    case 23:
        return QPalette::ToolTipText;
    case 24:
        return QPalette::ToolTipBase;
    default: // desktop, menu, application workspace and the rest
        return QPalette::Window;
    }
}

} // namespace

TColour SystemColourOf(int index, const QPalette& palette) {
    return FromQColor(palette.color(QPalette::Active, RoleOfSystemColour(index)));
}

TSystemColourLookup PaletteLookup(const QPalette& palette) {
    return [palette](int index) { return SystemColourOf(index, palette); };
}

QColor ToQColor(TColour colour, const QPalette& palette) {
    const TColour plain =
        ResolveColour(colour, [&palette](int index) { return SystemColourOf(index, palette); });
    return QColor(static_cast<int>(plain & 0xFF), static_cast<int>((plain >> 8) & 0xFF),
                  static_cast<int>((plain >> 16) & 0xFF));
}

TColour FromQColor(const QColor& colour) {
    const QColor rgb = colour.toRgb();
    return static_cast<TColour>(rgb.red()) | (static_cast<TColour>(rgb.green()) << 8) |
           (static_cast<TColour>(rgb.blue()) << 16);
}

QPen PenOf(TColour colour, int width, const QPalette& palette) {
    QPen pen(ToQColor(colour, palette));
    pen.setWidth(std::max(1, width));
    return pen;
}

std::optional<TColour> ChooseColourDialog(TColour initial, QWidget* parent) {
    const QColor chosen = QColorDialog::getColor(ToQColor(initial, parent->palette()), parent);
    if (!chosen.isValid())
        return std::nullopt;
    return FromQColor(chosen);
}
