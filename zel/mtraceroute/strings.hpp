// Keys and literals of the multicast traceroute operations, interned once in the
// constant table (zel_util/constants.hpp).
#pragma once

// clang-format off
#define ZEL_MTRACEROUTE_STRINGS(X)
// clang-format on
