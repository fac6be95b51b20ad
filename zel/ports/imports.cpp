#include "ports/imports.hpp"

#include "core/module_namespace.hpp"
#include "core/siblings.hpp"
#include "core/strings.hpp"

namespace zel {

PortImports port_imports;

void cache_port_builtins() {
    Py_XSETREF(port_imports.open, builtin(core_names.open).release());
}

void import_port_siblings() {
    port_imports.stats_tx_packets = import_variable("zel.zel", "SYS_CLASS_NET_STATS_TX_PKTS");
    port_imports.stats_tx_bytes = import_variable("zel.zel", "SYS_CLASS_NET_STATS_TX_BYTES");
    port_imports.stats_rx_packets = import_variable("zel.zel", "SYS_CLASS_NET_STATS_RX_PKTS");
    port_imports.stats_rx_bytes = import_variable("zel.zel", "SYS_CLASS_NET_STATS_RX_BYTES");
    import_function("zel.zel", "system_port_stat_path", "char const *(char *, char *)",
                    port_imports.system_port_stat_path);
}

}  // namespace zel
