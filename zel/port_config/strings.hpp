// Keys and literals of the port and configuration operations, interned once
// in the constant table (zel_util/constants.hpp).
#pragma once

// clang-format off
#define ZEL_PORT_CONFIG_STRINGS(X)                \
    X(fromtimestamp, "fromtimestamp")
// clang-format on
