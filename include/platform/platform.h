/*
 * Functions and data symbols of the switch's platform libraries, each
 * declared here only, grouped by the part of the module that calls it.
 *
 * On the device these libraries are already loaded into the hosting process;
 * the module refers to them by name only and never links them, so every
 * symbol below stays undefined in the extension until the dynamic loader
 * resolves it from the process.
 */
#ifndef ZEL_PLATFORM_PLATFORM_H
#define ZEL_PLATFORM_PLATFORM_H

#include "records.h"

#ifdef __cplusplus
extern "C" {
#endif

/* 802.1X (zel/dot1x/): fills the status record of one interface; 1 is success. */
int dump_tessel_802_1x_status(const char *interface_name, dot1x_status_info *out);

/* Hardware (zel/hardware/): 0 is success for temperatures and supplies; the flash result is
 * not examined. */
int get_temp_list(temp_list_info *out);
int get_psu_list(psu_list_info *out);
int get_flash_list(flash_list_info *out);

/* Ports (zel/ports/), sticky MAC flush: a null name flushes without naming an interface. */
int plat_switch_get_data_channel_unit(void);
int sms_do_flush(int unit, const char *interface_name);

/* System (zel/system/), hostname change through the configuration database.
 * nCfg points to a table of per-object query
 * handles indexed by object number. */
extern void **nCfg;
int check_create_zel_query(int object);
void *zel_query_update(void *query);
int nCfg_obj_change(int object, void *update_record);

/* System, configuration queries: 1 means the timestamp was written. */
int backupts_GetTimeStamp(const char *key, long *timestamp);
int is_diag_debug_enabled(void);

/* Multicast traceroute (zel/mtraceroute/). */
int api_mtraceroute(char *dst, int confidence, int flow_id, int max_ttl, char *r_file);
trace_route_context *init_trace_route(char *ip_host, int ttl, int probes, int timeout,
                                      trace_route_header_info *header);
int query_trace_route(trace_route_context *context, trace_route_response_info *response);
int free_trace_route(trace_route_context *context);

#ifdef __cplusplus
}
#endif

#endif /* ZEL_PLATFORM_PLATFORM_H */
