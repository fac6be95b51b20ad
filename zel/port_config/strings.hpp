// Names, keys, literals and numbers of the port and configuration
// operations, made once by intern_port_config_strings() at initialisation.
#pragma once

#include <Python.h>

#include "core/interned.hpp"

// clang-format off
#define ZEL_PORT_CONFIG_STRINGS(X)                                         \
    /* configuration queries */                                            \
    X(_KEY, "_KEY")                                                        \
    X(datetime, "datetime")                                                \
    X(fromtimestamp, "fromtimestamp")                                      \
    /* port traffic counters */                                            \
    X(SystemPortStats, "SystemPortStats")                                  \
    X(system_port_stats_fields, "tx_packets tx_bytes rx_packets rx_bytes") \
    X(mode_read, "r")                                                      \
    X(opener, "opener")                                                    \
    X(readline, "readline")                                                \
    X(rstrip, "rstrip")                                                    \
    X(system_port_stat_where, "zel.zel_util.system_port_stat")
// clang-format on

namespace zel {

struct PortConfigStrings {
    ZEL_PORT_CONFIG_STRINGS(ZEL_STRING_MEMBER)
    PyObject *cmdb_max_buff = nullptr;  // 4095
    PyObject *stp_priority = nullptr;   // 32768
    PyObject *no_update = nullptr;      // -1: set_hostname without an update record
    PyObject *zero = nullptr;
};

extern PortConfigStrings PC;

// Throws PyErrorSet.
void intern_port_config_strings();

}  // namespace zel
