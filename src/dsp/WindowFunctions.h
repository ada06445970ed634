// SPDX-License-Identifier: GPL-3.0-or-later
// Analysis windows that taper a block before the spectrum transform.
#pragma once

// Each function returns the weight of sample i for a window of parameter L. The first five use
// M = L - 1, WindowFlatTop uses M = L; every window is 0 for i > M and for i < 0. The formulas
// are evaluated in extended precision. When M = 0 (L too small for the cosine terms) the single
// sample i = 0 gets 0, except in WindowRect, which is 1 wherever 0 <= i <= M.
// The spectrum passes L = N - 1 for a block of N samples.

// 1.
double WindowRect(int i, int L);
// 0.42 - 0.5 cos(2 pi i / M) + 0.08 cos(4 pi i / M).
double WindowBlackman(int i, int L);
// The square of WindowBlackman.
double WindowBlackman2(int i, int L);
// 0.5 (1 - cos(2 pi i / M)).
double WindowHanning(int i, int L);
// 0.54 - 0.46 cos(2 pi i / M).
double WindowHamming(int i, int L);
// 0.21557895 - 0.41663158 cos(2 pi i/M) + 0.277263158 cos(4 pi i/M)
//   - 0.083578947 cos(6 pi i/M) + 0.006947368 cos(8 pi i/M), with M = L.
double WindowFlatTop(int i, int L);
