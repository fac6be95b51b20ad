// Keys and literals of the 802.1X operations, interned once in the
// constant table (zel_util/constants.hpp). Ids of keys that other subsystems
// might also want carry a dot1x_ prefix; the texts are what counts.
#pragma once

// clang-format off
#define ZEL_DOT1X_STRINGS(X)                                                                  \
    /* platform function names reported in CFunctionError */                                  \
    X(dot1x_dump_fn, "dump_tessel_802_1x_status")                                              \
    X(dot1x_malloc_fn, "PyMem_Malloc")                                                         \
    X(dot1x_status_no_memory, "Could not allocate memory for get_8021x_status data")           \
    X(dot1x_sessions_no_memory, "Could not allocate memory for get_8021x_sessions data")       \
    /* port_status clean-up: str.replace(":", "") */                                           \
    X(dot1x_replace, "replace")                                                                \
    X(dot1x_colon, ":")                                                                        \
    /* port dict (name: the frame's K.name) */                                                 \
    X(dot1x_mode, "mode")                                                                      \
    X(mab, "mab")                                                                              \
    X(link_status, "link_status")                                                              \
    X(port_status, "port_status")                                                              \
    X(eap_pass_through, "eap_pass_through")                                                    \
    X(dynamic_vlanid, "dynamic_vlanid")                                                        \
    X(native_vlanid, "native_vlanid")                                                          \
    X(allowed_vlanid, "allowed_vlanid")                                                        \
    X(untagged_vlanid, "untagged_vlanid")                                                      \
    X(guest_vlan_enable, "guest_vlan_enable")                                                  \
    X(guest_vlan, "guest_vlan")                                                                \
    X(auth_fail_vlan_enable, "auth_fail_vlan_enable")                                          \
    X(auth_fail_vlan, "auth_fail_vlan")                                                        \
    X(sessions, "sessions")                                                                    \
    /* session dicts */                                                                        \
    X(mac, "mac")                                                                              \
    X(dot1x_interface, "interface")                                                            \
    X(dot1x_type, "type")                                                                      \
    X(eap, "eap")                                                                              \
    X(eap_counter, "eap_counter")                                                              \
    X(pae, "pae")                                                                              \
    X(elapsed_time, "elapsed_time")                                                            \
    X(dot1x_params, "params")                                                                  \
    X(native_vlan_id, "native_vlan_id")                                                        \
    X(traffic_vlan_id, "traffic_vlan_id")                                                      \
    X(dynamic_assigned_vlan_id, "dynamic_assigned_vlan_id")                                    \
    X(dot1x_user, "user")                                                                      \
    X(security_group, "security_group")                                                        \
    X(brenlow_group, "brenlow_group")
// clang-format on
