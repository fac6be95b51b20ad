// C-level exports of the sibling modules, obtained once at initialisation
// from each module's `__pyx_capi__` table of capsules.
#pragma once

namespace zel {

struct Siblings {
    // Variables are kept by address and read at each use, so a later change
    // in the sibling module is seen.
    char **warm_start_path = nullptr;   // migbase.migbase
    char **stats_tx_packets = nullptr;  // zel.zel
    char **stats_tx_bytes = nullptr;
    char **stats_rx_packets = nullptr;
    char **stats_rx_bytes = nullptr;
    const char *(*system_port_stat_path)(char *name, char *stat) = nullptr;  // zel.zel
    int (*strtcpy)(char *dst, int size, const char *src) = nullptr;          // util.string
};

extern Siblings S;

// Performs the imports in their order. Throws PyErrorSet.
void import_siblings();

}  // namespace zel
