// The constant table: every identifier, key, literal and number the module
// uses, created once by the execution step and read-only afterwards.
// Identifiers and keys are interned so that dictionary stores hash once.
//
// Each subsystem lists its own strings beside its code; the frame's own list
// holds the module-level names, the imported modules, the operation and
// parameter names and the attribute names shared by several subsystems.
#pragma once

#include <Python.h>

#include "dot1x/strings.hpp"
#include "hardware/strings.hpp"
#include "mtraceroute/strings.hpp"
#include "port_config/strings.hpp"

// clang-format off
#define ZEL_FRAME_STRINGS(X)                                             \
    /* imported modules */                                               \
    X(mod_modules_util, "zovrak.modules.modules_util")                   \
    X(mod_collections, "collections")                                    \
    X(mod_util_errors, "util.errors")                                    \
    X(mod_datetime, "datetime")                                          \
    X(mod_logging, "logging")                                            \
    X(mod_pyramid_compat, "pyramid.compat")                              \
    X(mod_enum, "enum")                                                  \
    X(mod_time, "time")                                                  \
    X(mod_os, "os")                                                      \
    X(mod_fcntl, "fcntl")                                                \
    /* module-level names */                                             \
    X(get_routing_table_result, "get_routing_table_result")              \
    X(namedtuple, "namedtuple")                                          \
    X(CFunctionError, "CFunctionError")                                  \
    X(datetime, "datetime")                                              \
    X(getLogger, "getLogger")                                            \
    X(bytes_, "bytes_")                                                  \
    X(text_, "text_")                                                    \
    X(IntEnum, "IntEnum")                                                \
    X(sleep, "sleep")                                                    \
    X(os, "os")                                                          \
    X(fcntl, "fcntl")                                                    \
    X(_logger, "_logger")                                                \
    X(_KEY, "_KEY")                                                      \
    X(_CHARSET, "_CHARSET")                                              \
    X(__test__, "__test__")                                              \
    X(__name__, "__name__")                                              \
    X(__module__, "__module__")                                          \
    X(__qualname__, "__qualname__")                                      \
    X(__prepare__, "__prepare__")                                        \
    X(__enter__, "__enter__")                                            \
    X(__new__, "__new__")                                                \
    X(__init__, "__init__")                                              \
    X(__exit__, "__exit__")                                              \
    X(__builtins__, "__builtins__")                                      \
    X(_fields, "_fields")                                                \
    X(_tuple_new, "_tuple_new")                                          \
    X(name, "name")                                                      \
    /* cached builtins */                                                \
    X(range, "range")                                                    \
    X(open, "open")                                                      \
    X(format, "format")                                                  \
    X(ValueError, "ValueError")                                          \
    /* operations */                                                     \
    X(get_last_backup, "get_last_backup")                                \
    X(get_8021x_status, "get_8021x_status")                              \
    X(get_diag_debug_status, "get_diag_debug_status")                    \
    X(has_temperature_sensor, "has_temperature_sensor")                  \
    X(multiple_temperature_sensors, "multiple_temperature_sensors")      \
    X(system_temperatures, "system_temperatures")                        \
    X(set_hostname, "set_hostname")                                      \
    X(get_cmdb_max_buff, "get_cmdb_max_buff")                            \
    X(get_8021x_sessions, "get_8021x_sessions")                          \
    X(get_flashs, "get_flashs")                                          \
    X(psu_list, "psu_list")                                              \
    X(stp_instance_priority_default, "stp_instance_priority_default")    \
    X(system_port_traffic, "system_port_traffic")                        \
    X(delete_sticky_mac_unsaved, "delete_sticky_mac_unsaved")            \
    X(get_diagnostic_data, "get_diagnostic_data")                        \
    X(exec_mtraceroute, "exec_mtraceroute")                              \
    X(get_safe_r_file, "get_safe_r_file")                                \
    /* parameters */                                                     \
    X(interface_name, "interface_name")                                  \
    X(hostname, "hostname")                                              \
    X(context, "context")                                                \
    X(ip_host, "ip_host")                                                \
    X(ttl, "ttl")                                                        \
    X(probes, "probes")                                                  \
    X(timeout, "timeout")                                                \
    X(r_file, "r_file")                                                  \
    X(dst, "dst")                                                        \
    X(confidence, "confidence")                                          \
    X(flow_id, "flow_id")                                                \
    X(max_ttl, "max_ttl")                                                \
    X(int_, "int")                                                       \
    /* shared attribute names and literals */                            \
    X(error, "error")                                                    \
    X(get, "get")                                                        \
    X(empty, "")                                                         \
    X(comma, ",")                                                        \
    X(comma_space, ", ")                                                 \
    X(zel_util_name, "zel.zel_util")                                     \
    X(CharsetValue, "utf-8")

#define ZEL_ALL_STRINGS(X)    \
    ZEL_FRAME_STRINGS(X)      \
    ZEL_DOT1X_STRINGS(X)      \
    ZEL_HARDWARE_STRINGS(X)   \
    ZEL_PORT_CONFIG_STRINGS(X) \
    ZEL_MTRACEROUTE_STRINGS(X)
// clang-format on

namespace zel {

struct Constants {
#define ZEL_DECLARE_STRING(id, text) PyObject *id;
    ZEL_ALL_STRINGS(ZEL_DECLARE_STRING)
#undef ZEL_DECLARE_STRING

    PyObject *key_value;  // b"sys_confroot", the value of _KEY

    // Numbers: defaults of the operations and fixed results.
    PyObject *n_32, *n_3, *n_15, *n_90, *n_5, *n_30;
    PyObject *n_4095, *n_32768;
    PyObject *n_minus_1, *n_minus_2, *n_0, *n_1;

    PyObject *trace_hop_pause;  // 0.2: seconds between two traceroute hops
};

// Filled by create_constants(); every entry is a strong reference kept for
// the life of the process.
extern Constants K;

// Creates the table; on failure the Python error is set and -1 returned.
int create_constants();

}  // namespace zel
