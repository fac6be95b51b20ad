// What the port operations take from outside the module, once at
// initialisation: the builtin `open`, and zel.zel's counter-file names and
// the function that joins them into a counter path.
#pragma once

#include <Python.h>

namespace zel {

struct PortImports {
    PyObject *open = nullptr;  // strong
    // zel.zel's variables, kept by address and read at each call, so that a
    // later change in the sibling module is seen.
    char **stats_tx_packets = nullptr;
    char **stats_tx_bytes = nullptr;
    char **stats_rx_packets = nullptr;
    char **stats_rx_bytes = nullptr;
    const char *(*system_port_stat_path)(char *name, char *stat) = nullptr;
};

extern PortImports port_imports;

// Throws PyErrorSet.
void cache_port_builtins();
void import_port_siblings();

}  // namespace zel
