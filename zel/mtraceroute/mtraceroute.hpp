// Multicast traceroute: numbered result files, the traceroute launch and the
// hop-by-hop traceroute query.
#pragma once

#include <Python.h>

#include "frame/function.hpp"
#include "frame/ref.hpp"
#include "frame/unlocked.hpp"

namespace zel {

Ref get_safe_r_file(const Args &args);
Ref exec_mtraceroute(const Args &args);
Ref get_diagnostic_data(const Args &args);

// Module-level objects, made once by the execution step.
Ref make_trace_route_settings();
Ref make_icmp_codes_for_characters();

}  // namespace zel
