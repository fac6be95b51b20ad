// The function table: each operation's parameters and body, and the order in
// which the operations and the other module-level objects are bound.
#include <iterator>

#include "dot1x/dot1x.hpp"
#include "frame/function.hpp"
#include "hardware/hardware.hpp"
#include "mtraceroute/mtraceroute.hpp"
#include "port_config/port_config.hpp"
#include "zel_util/constants.hpp"
#include "zel_util/statements.hpp"

namespace zel {

namespace {

#define ZEL_OPERATION(op, params, body)                           \
    FunctionSpec {                                                \
#op, "zel.zel_util." #op, params, std::size(params), body \
    }
#define ZEL_OPERATION_NOARGS(op, body)             \
    FunctionSpec {                                 \
#op, "zel.zel_util." #op, nullptr, 0, body \
    }

// ---- parameters --------------------------------------------------------------

constexpr Param kInterfaceName[] = {{&K.interface_name}};
PyObject *const kNone = Py_None;

constexpr Param kHostname[] = {{&K.hostname}};
constexpr Param kName[] = {{&K.name}};
constexpr Param kOptionalName[] = {{&K.name, &kNone}};
constexpr Param kDiagnosticData[] = {
    {&K.context},
    {&K.ip_host},
    {&K.ttl, &K.n_32, true},
    {&K.probes, &K.n_3, true},
    {&K.timeout, &K.n_15, true},
};
constexpr Param kMtraceroute[] = {
    {&K.r_file},
    {&K.dst},
    {&K.confidence, &K.n_90, true},
    {&K.flow_id, &K.n_5},
    {&K.max_ttl, &K.n_30, true},
};

// ---- operations --------------------------------------------------------------

const FunctionSpec get_last_backup_op = ZEL_OPERATION_NOARGS(get_last_backup, get_last_backup);
const FunctionSpec get_8021x_status_op =
    ZEL_OPERATION(get_8021x_status, kInterfaceName, get_8021x_status);
const FunctionSpec get_8021x_sessions_op =
    ZEL_OPERATION(get_8021x_sessions, kInterfaceName, get_8021x_sessions);
const FunctionSpec get_diag_debug_status_op =
    ZEL_OPERATION_NOARGS(get_diag_debug_status, get_diag_debug_status);
const FunctionSpec has_temperature_sensor_op =
    ZEL_OPERATION_NOARGS(has_temperature_sensor, has_temperature_sensor);
const FunctionSpec multiple_temperature_sensors_op =
    ZEL_OPERATION_NOARGS(multiple_temperature_sensors, multiple_temperature_sensors);
const FunctionSpec system_temperatures_op =
    ZEL_OPERATION_NOARGS(system_temperatures, system_temperatures);
const FunctionSpec set_hostname_op = ZEL_OPERATION(set_hostname, kHostname, set_hostname);
const FunctionSpec get_cmdb_max_buff_op =
    ZEL_OPERATION_NOARGS(get_cmdb_max_buff, get_cmdb_max_buff);
const FunctionSpec get_flashs_op = ZEL_OPERATION_NOARGS(get_flashs, get_flashs);
const FunctionSpec psu_list_op = ZEL_OPERATION_NOARGS(psu_list, psu_list);
const FunctionSpec stp_instance_priority_default_op =
    ZEL_OPERATION_NOARGS(stp_instance_priority_default, stp_instance_priority_default);
const FunctionSpec system_port_traffic_op =
    ZEL_OPERATION(system_port_traffic, kName, system_port_traffic);
const FunctionSpec delete_sticky_mac_unsaved_op =
    ZEL_OPERATION(delete_sticky_mac_unsaved, kOptionalName, delete_sticky_mac_unsaved);
const FunctionSpec get_diagnostic_data_op =
    ZEL_OPERATION(get_diagnostic_data, kDiagnosticData, get_diagnostic_data);
const FunctionSpec exec_mtraceroute_op =
    ZEL_OPERATION(exec_mtraceroute, kMtraceroute, exec_mtraceroute);
const FunctionSpec get_safe_r_file_op = ZEL_OPERATION_NOARGS(get_safe_r_file, get_safe_r_file);

#undef ZEL_OPERATION
#undef ZEL_OPERATION_NOARGS

constexpr ModuleLevelEntry operation(PyObject *const &name, const FunctionSpec &spec) {
    return {&name, &spec, nullptr};
}

constexpr ModuleLevelEntry object(PyObject *const &name, Ref (*make)()) {
    return {&name, nullptr, make};
}

}  // namespace

const ModuleLevelEntry kModuleLevel[] = {
    operation(K.get_last_backup, get_last_backup_op),
    operation(K.get_8021x_status, get_8021x_status_op),
    operation(K.get_diag_debug_status, get_diag_debug_status_op),
    object(K._HAS_TEMPERATURE_SENSOR, unset_sensor_flag),
    object(K._MULTIPLE_TEMPERATURE_SENSORS, unset_sensor_flag),
    operation(K.has_temperature_sensor, has_temperature_sensor_op),
    operation(K.multiple_temperature_sensors, multiple_temperature_sensors_op),
    operation(K.system_temperatures, system_temperatures_op),
    operation(K.set_hostname, set_hostname_op),
    operation(K.get_cmdb_max_buff, get_cmdb_max_buff_op),
    operation(K.get_8021x_sessions, get_8021x_sessions_op),
    operation(K.get_flashs, get_flashs_op),
    object(K.PSU, make_psu_type),
    operation(K.psu_list, psu_list_op),
    operation(K.stp_instance_priority_default, stp_instance_priority_default_op),
    object(K.SystemPortStats, make_system_port_stats),
    operation(K.system_port_traffic, system_port_traffic_op),
    operation(K.delete_sticky_mac_unsaved, delete_sticky_mac_unsaved_op),
    object(K.TraceRouteSettings, make_trace_route_settings),
    object(K.ICMP_CODES_FOR_CHARACTERS, make_icmp_codes_for_characters),
    operation(K.get_diagnostic_data, get_diagnostic_data_op),
    operation(K.exec_mtraceroute, exec_mtraceroute_op),
    operation(K.get_safe_r_file, get_safe_r_file_op),
};

const size_t kModuleLevelSize = std::size(kModuleLevel);

}  // namespace zel
