// Names, keys and literals of the 802.1X operations, interned once by
// intern_dot1x_strings() at initialisation.
#pragma once

#include "core/interned.hpp"

// clang-format off
#define ZEL_DOT1X_STRINGS(X)                                                          \
    /* module-level names */                                                          \
    X(_logger, "_logger")                                                             \
    X(error, "error")                                                                 \
    /* the allocation failure: CFunctionError("PyMem_Malloc"), logged first */                          \
    X(malloc_fn, "PyMem_Malloc")                                                      \
    X(status_no_memory, "Could not allocate memory for get_8021x_status data")        \
    X(sessions_no_memory, "Could not allocate memory for get_8021x_sessions data")    \
    /* port_status clean-up: str.replace(":", "") */                                  \
    X(replace, "replace")                                                             \
    X(colon, ":")                                                                     \
    /* port dict */                                                                   \
    X(name, "name")                                                                   \
    X(mode, "mode")                                                                   \
    X(mab, "mab")                                                                     \
    X(link_status, "link_status")                                                     \
    X(port_status, "port_status")                                                     \
    X(eap_pass_through, "eap_pass_through")                                           \
    X(dynamic_vlanid, "dynamic_vlanid")                                               \
    X(native_vlanid, "native_vlanid")                                                 \
    X(allowed_vlanid, "allowed_vlanid")                                               \
    X(untagged_vlanid, "untagged_vlanid")                                             \
    X(guest_vlan_enable, "guest_vlan_enable")                                         \
    X(guest_vlan, "guest_vlan")                                                       \
    X(auth_fail_vlan_enable, "auth_fail_vlan_enable")                                 \
    X(auth_fail_vlan, "auth_fail_vlan")                                               \
    X(sessions, "sessions")                                                           \
    /* session dicts */                                                               \
    X(mac, "mac")                                                                     \
    X(interface, "interface")                                                         \
    X(type, "type")                                                                   \
    X(eap, "eap")                                                                     \
    X(eap_counter, "eap_counter")                                                     \
    X(pae, "pae")                                                                     \
    X(elapsed_time, "elapsed_time")                                                   \
    X(params, "params")                                                               \
    X(native_vlan_id, "native_vlan_id")                                               \
    X(traffic_vlan_id, "traffic_vlan_id")                                             \
    X(dynamic_assigned_vlan_id, "dynamic_assigned_vlan_id")                           \
    X(user, "user")                                                                   \
    X(security_group, "security_group")                                               \
    X(brenlow_group, "brenlow_group")
// clang-format on

namespace zel {

struct Dot1xNames {
    ZEL_DOT1X_STRINGS(ZEL_STRING_MEMBER)
};

extern Dot1xNames dot1x_names;

// Throws PyErrorSet.
void intern_dot1x_strings();

}  // namespace zel
