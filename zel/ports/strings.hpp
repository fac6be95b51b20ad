// Names, literals and numbers of the port operations (traffic counters,
// sticky MAC flush), made once by intern_port_strings() at initialisation.
#pragma once

#include <Python.h>

#include "core/interned.hpp"

// clang-format off
#define ZEL_PORT_STRINGS(X)                                                \
    X(SystemPortStats, "SystemPortStats")                                  \
    X(system_port_stats_fields, "tx_packets tx_bytes rx_packets rx_bytes") \
    X(mode_read, "r")                                                      \
    X(opener, "opener")                                                    \
    X(readline, "readline")                                                \
    X(rstrip, "rstrip")                                                    \
    X(system_port_stat_where, "zel.zel_util.system_port_stat")
// clang-format on

namespace zel {

struct PortNames {
    ZEL_PORT_STRINGS(ZEL_STRING_MEMBER)
    PyObject *zero = nullptr;
};

extern PortNames port_names;

// Throws PyErrorSet.
void intern_port_strings();

}  // namespace zel
