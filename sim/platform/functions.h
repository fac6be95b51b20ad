// The platform functions the simulator implements, in the order of their
// codes in the call log and in exported scripts. The Fn enum and the names
// the control interface reports are both made from this one list; a new
// platform function gets its line here (at the end, so that existing codes
// stay) and its definition in the file of its subsystem.
#ifndef ZEL_SIM_FUNCTIONS_H
#define ZEL_SIM_FUNCTIONS_H

#define ZELSIM_PLATFORM_FUNCTIONS(X)     \
    X(dump_tessel_802_1x_status)         \
    X(get_temp_list)                     \
    X(get_psu_list)                      \
    X(get_flash_list)                    \
    X(plat_switch_get_data_channel_unit) \
    X(sms_do_flush)                      \
    X(check_create_zel_query)            \
    X(zel_query_update)                  \
    X(nCfg_obj_change)                   \
    X(backupts_GetTimeStamp)             \
    X(is_diag_debug_enabled)             \
    X(api_mtraceroute)                   \
    X(init_trace_route)                  \
    X(query_trace_route)                 \
    X(free_trace_route)

#endif  // ZEL_SIM_FUNCTIONS_H
