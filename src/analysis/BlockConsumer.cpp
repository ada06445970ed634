// SPDX-License-Identifier: GPL-3.0-or-later
// The block consumer interface (its out-of-line anchor).
#include "analysis/BlockConsumer.h"
