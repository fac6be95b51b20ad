// The module table: every operation and module-level object bound after
// _CHARSET, in order, by name only. Each is defined beside its body in its
// subsystem (ZEL_OPERATION, ZEL_MODULE_OBJECT).
#include "zel_util/module_table.hpp"

#include <iterator>

// clang-format off
#define ZEL_MODULE_LEVEL(OPERATION, OBJECT)     \
    OPERATION(get_last_backup)                  \
    OPERATION(get_8021x_status)                 \
    OPERATION(get_diag_debug_status)            \
    OBJECT(_HAS_TEMPERATURE_SENSOR)             \
    OBJECT(_MULTIPLE_TEMPERATURE_SENSORS)       \
    OPERATION(has_temperature_sensor)           \
    OPERATION(multiple_temperature_sensors)     \
    OPERATION(system_temperatures)              \
    OPERATION(set_hostname)                     \
    OPERATION(get_cmdb_max_buff)                \
    OPERATION(get_8021x_sessions)               \
    OPERATION(get_flashs)                       \
    OBJECT(PSU)                                 \
    OPERATION(psu_list)                         \
    OPERATION(stp_instance_priority_default)    \
    OBJECT(SystemPortStats)                     \
    OPERATION(system_port_traffic)              \
    OPERATION(delete_sticky_mac_unsaved)        \
    OBJECT(TraceRouteSettings)                  \
    OBJECT(ICMP_CODES_FOR_CHARACTERS)           \
    OPERATION(get_diagnostic_data)              \
    OPERATION(exec_mtraceroute)                 \
    OPERATION(get_safe_r_file)                  \
    /* end of the module table */
// clang-format on

namespace zel {

#define ZEL_DECLARE_OPERATION(op) extern const Operation op##_operation;
#define ZEL_DECLARE_OBJECT(object) extern const ModuleObject object##_object;
ZEL_MODULE_LEVEL(ZEL_DECLARE_OPERATION, ZEL_DECLARE_OBJECT)
#undef ZEL_DECLARE_OPERATION
#undef ZEL_DECLARE_OBJECT

#define ZEL_OPERATION_ENTRY(op) {&op##_operation, nullptr},
#define ZEL_OBJECT_ENTRY(object) {nullptr, &object##_object},
const ModuleLevelEntry kModuleLevel[] = {ZEL_MODULE_LEVEL(ZEL_OPERATION_ENTRY, ZEL_OBJECT_ENTRY)};
#undef ZEL_OPERATION_ENTRY
#undef ZEL_OBJECT_ENTRY

const size_t kModuleLevelSize = std::size(kModuleLevel);

}  // namespace zel
