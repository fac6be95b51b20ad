// Keys and literals of the 802.1X operations, interned once in the
// constant table (zel_util/constants.hpp).
#pragma once

// clang-format off
#define ZEL_DOT1X_STRINGS(X)
// clang-format on
