// Port and configuration operations: port counters, the sticky MAC flush,
// the hostname change and the configuration queries.
#pragma once

#include "frame/function.hpp"

namespace zel {

// port_traffic.cpp
Ref make_system_port_stats();
Ref system_port_traffic(const Args &args);

// sticky_mac.cpp
Ref delete_sticky_mac_unsaved(const Args &args);

// hostname.cpp
Ref set_hostname(const Args &args);

// config_queries.cpp
Ref get_last_backup(const Args &args);
Ref get_diag_debug_status(const Args &args);
Ref get_cmdb_max_buff(const Args &args);
Ref stp_instance_priority_default(const Args &args);

}  // namespace zel
