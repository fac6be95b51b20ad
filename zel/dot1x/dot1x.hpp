// 802.1X reporting: one interface's port state with its sessions, and the
// flat list of its sessions, both read from one platform dump.
#pragma once

#include "frame/function.hpp"

namespace zel {

Ref get_8021x_status(const Args &args);
Ref get_8021x_sessions(const Args &args);

}  // namespace zel
