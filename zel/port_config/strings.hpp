// Keys and literals of the port and configuration operations, interned once
// in the constant table (zel_util/constants.hpp).
#pragma once

// clang-format off
#define ZEL_PORT_CONFIG_STRINGS(X)                                       \
    X(fromtimestamp, "fromtimestamp")                                    \
    /* port traffic counters */                                          \
    X(SystemPortStats, "SystemPortStats")                                \
    X(system_port_stats_fields, "tx_packets tx_bytes rx_packets rx_bytes") \
    X(mode_read, "r")                                                    \
    X(readline, "readline")                                              \
    X(rstrip, "rstrip")                                                  \
    X(system_port_stat_where, "zel.zel_util.system_port_stat")
// clang-format on
