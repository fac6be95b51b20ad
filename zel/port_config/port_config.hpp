// Port and configuration operations: port counters, the sticky MAC flush,
// the hostname change and the configuration queries.
#pragma once

#include "frame/function.hpp"

namespace zel {

Ref get_last_backup(const Args &args);
Ref get_diag_debug_status(const Args &args);
Ref get_cmdb_max_buff(const Args &args);
Ref stp_instance_priority_default(const Args &args);

}  // namespace zel
