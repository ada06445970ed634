// SPDX-License-Identifier: GPL-3.0-or-later
// Number texts of the read-outs: parsing of edit texts, general and fixed formats, SI prefixes.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// Raised when an edit text that must hold a number does not; carries the fixed English text
// "'<text>' is not a valid floating point value" or "... integer value".
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The decimal number in text (blanks around it allowed, optional sign, optional exponent), or
// nothing when the text is not a finite number.
std::optional<double> ParseNumber(std::string_view text);
// The whole number in text (blanks around it allowed, optional sign, 32-bit range), or nothing.
std::optional<std::int32_t> ParseWholeNumber(std::string_view text);
// ParseNumber / ParseWholeNumber that raise EConvertError instead of returning nothing.
double NumberOrThrow(std::string_view text);
std::int32_t WholeNumberOrThrow(std::string_view text);

// General decimal format with at most 15 significant digits: trailing zeros dropped, no decimal
// point for whole values, scientific form "1.5E-7" / "2E20" when the value is below 1e-5 in
// magnitude or needs more than 15 digits before the point. "NAN", "INF", "-INF" for those.
std::string FormatGeneral(double x);
// Fixed notation with `decimals` digits after the point ("%.2f" for the default two).
std::string FormatFixed(double x, int decimals = 2);

// A value split into a mantissa and an SI prefix: x = Mantissa * 10^(3k).
struct TEngineeringValue {
    double Mantissa = 0.0;
    std::string Prefix; // "y" ... "Y" (micro sign in UTF-8); empty for none
};

// First k of -8 ... 8 with |x| / 10^(3k) < 1000 gives the mantissa x / 10^(3k) and the prefix of
// 10^(3k). 0 gives (0, ""); NaN and infinities give (NaN, ""); |x| >= 10^27 gives (x, "").
TEngineeringValue FormatEngineering(double x);
// Mantissa in general format followed by the prefix (and nothing else): "500µ", "1.5k".
std::string EngineeringText(double x);

// Truncation of x toward zero to d significant digits:
// e = floor(log10 |x|) - d + 1, result = sign(x) * trunc(1.000000000001 * |x| / 10^e) * 10^e.
// The factor 1 + 1e-12 keeps values such as 0.3 (stored a hair below) from losing a digit.
double TruncSignificant(double x, int d);
