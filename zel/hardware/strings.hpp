// Keys and literals of the hardware status operations, interned once in the
// constant table (zel_util/constants.hpp).
#pragma once

// clang-format off
#define ZEL_HARDWARE_STRINGS(X)
// clang-format on
