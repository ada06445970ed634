// SPDX-License-Identifier: GPL-3.0-or-later
// Numbers in text files, independent of the user's locale.
#pragma once

#include <string>
#include <string_view>

// Reads a real written with "." or "," as the decimal separator ("4.8E+0004", " -3,5 ").
// Blanks and tabs around the number are ignored; anything else left over, an empty text, or a
// value out of the double range gives false and leaves `value` alone.
bool ParseReal(std::string_view text, double& value);

// Writes `value` with "." as the decimal separator, whatever the locale, in the shortest form
// that reads back to the same double ("0.1", "48000", "1e-07"); "nan", "inf" and "-inf" for
// values that are not finite.
std::string FormatReal(double value);

// Writes `value` as printf's "%W.Df" would in the C locale: `decimals` digits after a ".",
// padded with leading blanks to at least `width` characters ("  1.5000000"). "nan", "inf" and
// "-inf" for values that are not finite.
std::string FormatFixed(double value, int width, int decimals);
