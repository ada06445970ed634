// SPDX-License-Identifier: GPL-3.0-or-later
// Value types shared by the FFT, the band filter and the expression evaluator.
#pragma once

#include <vector>

// A complex number as two doubles, real part first.
struct TComplex {
    double Re = 0.0;
    double Im = 0.0;
};

using TFloatArray = std::vector<double>;
using TComplexArray = std::vector<TComplex>;
