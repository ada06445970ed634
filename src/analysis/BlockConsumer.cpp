// The block consumer interface (its out-of-line anchor).
#include "analysis/BlockConsumer.h"
