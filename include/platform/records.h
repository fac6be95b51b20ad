/*
 * Records exchanged with the switch's platform libraries.
 *
 * The device is 32-bit little-endian ARM with natural alignment; every layout
 * below is pinned byte by byte with static assertions so that a change of
 * compiler or target cannot move a field unnoticed. The records hold no
 * pointers or longs, so the same layout holds on a 64-bit build host.
 *
 * Text fields are NUL-terminated byte strings inside fixed rooms; readers must
 * never look past a room, whatever the platform wrote into it.
 */
#ifndef ZEL_PLATFORM_RECORDS_H
#define ZEL_PLATFORM_RECORDS_H

#include <stddef.h>
#include <stdint.h>

#ifndef __cplusplus
#include <assert.h> /* static_assert in C11 */
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define ZEL_LAYOUT(type, field, offset) \
    static_assert(offsetof(type, field) == (offset), #type "." #field " offset")
#define ZEL_SIZE(type, size) static_assert(sizeof(type) == (size), #type " size")

/* ---- 802.1X: dot1x_status_info, 16840 bytes ---------------------------- */

#define DOT1X_MAX_SESSIONS 20

typedef struct dot1x_session_vlan_info {
    unsigned char reserved[30];
    uint16_t native_vlan_id;
    uint16_t traffic_vlan_id;
    uint16_t dynamic_assigned_vlan_id;
} dot1x_session_vlan_info;

ZEL_LAYOUT(dot1x_session_vlan_info, native_vlan_id, 30);
ZEL_LAYOUT(dot1x_session_vlan_info, traffic_vlan_id, 32);
ZEL_LAYOUT(dot1x_session_vlan_info, dynamic_assigned_vlan_id, 34);
ZEL_SIZE(dot1x_session_vlan_info, 36);

typedef struct dot1x_session_info {
    char mac[20];
    char type[10];
    char eap[16];
    char eap_counter[16];
    char elapsed_time[16];
    char pae[16];
    char params[68];
    char security_group[36];
    char user[65];
    char brenlow_group[512];
} dot1x_session_info;

ZEL_LAYOUT(dot1x_session_info, mac, 0);
ZEL_LAYOUT(dot1x_session_info, type, 20);
ZEL_LAYOUT(dot1x_session_info, eap, 30);
ZEL_LAYOUT(dot1x_session_info, eap_counter, 46);
ZEL_LAYOUT(dot1x_session_info, elapsed_time, 62);
ZEL_LAYOUT(dot1x_session_info, pae, 78);
ZEL_LAYOUT(dot1x_session_info, params, 94);
ZEL_LAYOUT(dot1x_session_info, security_group, 162);
ZEL_LAYOUT(dot1x_session_info, user, 198);
ZEL_LAYOUT(dot1x_session_info, brenlow_group, 263);
ZEL_SIZE(dot1x_session_info, 775);

typedef struct dot1x_status_info {
    char name[64];
    int32_t mode;
    int32_t mab;
    char link_status[10];
    char port_status[114];
    char eap_pass_through[52];
    int32_t dynamic_vlanid;
    int32_t native_vlanid;
    char allowed_vlanid[64];
    char untagged_vlanid[64];
    int32_t guest_vlan_enable;
    char guest_vlan[72];
    int32_t auth_fail_vlan_enable;
    char auth_fail_vlan[136];
    int32_t count;
    unsigned char reserved[16];
    dot1x_session_vlan_info vlan[DOT1X_MAX_SESSIONS];
    dot1x_session_info session[DOT1X_MAX_SESSIONS];
} dot1x_status_info;

ZEL_LAYOUT(dot1x_status_info, name, 0);
ZEL_LAYOUT(dot1x_status_info, mode, 64);
ZEL_LAYOUT(dot1x_status_info, mab, 68);
ZEL_LAYOUT(dot1x_status_info, link_status, 72);
ZEL_LAYOUT(dot1x_status_info, port_status, 82);
ZEL_LAYOUT(dot1x_status_info, eap_pass_through, 196);
ZEL_LAYOUT(dot1x_status_info, dynamic_vlanid, 248);
ZEL_LAYOUT(dot1x_status_info, native_vlanid, 252);
ZEL_LAYOUT(dot1x_status_info, allowed_vlanid, 256);
ZEL_LAYOUT(dot1x_status_info, untagged_vlanid, 320);
ZEL_LAYOUT(dot1x_status_info, guest_vlan_enable, 384);
ZEL_LAYOUT(dot1x_status_info, guest_vlan, 388);
ZEL_LAYOUT(dot1x_status_info, auth_fail_vlan_enable, 460);
ZEL_LAYOUT(dot1x_status_info, auth_fail_vlan, 464);
ZEL_LAYOUT(dot1x_status_info, count, 600);
ZEL_LAYOUT(dot1x_status_info, vlan, 620);
ZEL_LAYOUT(dot1x_status_info, session, 1340);
ZEL_SIZE(dot1x_status_info, 16840);

/* ---- Temperatures: temp_list_info, 324 bytes ---------------------------- */

#define TEMP_MAX_SENSORS 8

typedef struct temp_sensor_info {
    unsigned char reserved[36];
    float temperature;
} temp_sensor_info;

ZEL_LAYOUT(temp_sensor_info, temperature, 36);
ZEL_SIZE(temp_sensor_info, 40);

typedef struct temp_list_info {
    temp_sensor_info entries[TEMP_MAX_SENSORS];
    int32_t count;
} temp_list_info;

ZEL_LAYOUT(temp_list_info, entries, 0);
ZEL_LAYOUT(temp_list_info, count, 320);
ZEL_SIZE(temp_list_info, 324);

/* ---- Power supplies: psu_list_info, 1576 bytes reserved ----------------- */

#define PSU_MAX_SUPPLIES 13

typedef struct psu_info {
    char name[112];
    int32_t ok;
    int32_t connected;
} psu_info;

ZEL_LAYOUT(psu_info, name, 0);
ZEL_LAYOUT(psu_info, ok, 112);
ZEL_LAYOUT(psu_info, connected, 116);
ZEL_SIZE(psu_info, 120);

typedef struct psu_list_info {
    psu_info entries[PSU_MAX_SUPPLIES];
    unsigned char reserved[8];
    int32_t count;
    unsigned char reserved2[4];
} psu_list_info;

ZEL_LAYOUT(psu_list_info, entries, 0);
ZEL_LAYOUT(psu_list_info, count, 1568);
ZEL_SIZE(psu_list_info, 1576);

/* ---- Flash partitions: flash_list_info, 712 bytes reserved -------------- */

#define FLASH_MAX_PARTITIONS 8

typedef struct flash_info {
    int32_t partition;
    char image[64];
    uint32_t tot_size;
    uint32_t used_size;
    uint32_t usage;
    int32_t active;
    unsigned char reserved[4];
} flash_info;

ZEL_LAYOUT(flash_info, partition, 0);
ZEL_LAYOUT(flash_info, image, 4);
ZEL_LAYOUT(flash_info, tot_size, 68);
ZEL_LAYOUT(flash_info, used_size, 72);
ZEL_LAYOUT(flash_info, usage, 76);
ZEL_LAYOUT(flash_info, active, 80);
ZEL_SIZE(flash_info, 88);

typedef struct flash_list_info {
    flash_info entries[FLASH_MAX_PARTITIONS];
    int32_t count;
    unsigned char reserved[4];
} flash_list_info;

ZEL_LAYOUT(flash_list_info, entries, 0);
ZEL_LAYOUT(flash_list_info, count, 704);
ZEL_SIZE(flash_list_info, 712);

/* ---- Hostname: the update record of configuration object 11 -------------
 * The platform's record is longer; this is the part the module writes. */

#define HOSTNAME_CFG_OBJECT 11
#define HOSTNAME_FIELD_SIZE 36

typedef struct hostname_update_record {
    unsigned char reserved[4];
    char host_name[HOSTNAME_FIELD_SIZE];
} hostname_update_record;

ZEL_LAYOUT(hostname_update_record, host_name, 4);
ZEL_SIZE(hostname_update_record, 40);

/* ---- Traceroute ---------------------------------------------------------- */

#define TRACE_ROUTE_MAX_PROBES 5

typedef struct trace_route_header_info {
    char host_name[64];
    char ip_address[32];
    int32_t hops;
    int32_t probes;
    int32_t timeout;
    int32_t package_size;
} trace_route_header_info;

ZEL_LAYOUT(trace_route_header_info, host_name, 0);
ZEL_LAYOUT(trace_route_header_info, ip_address, 64);
ZEL_LAYOUT(trace_route_header_info, hops, 96);
ZEL_LAYOUT(trace_route_header_info, probes, 100);
ZEL_LAYOUT(trace_route_header_info, timeout, 104);
ZEL_LAYOUT(trace_route_header_info, package_size, 108);
ZEL_SIZE(trace_route_header_info, 112);

typedef struct trace_route_probe_info {
    int32_t status;
    int32_t code;
    float time;
} trace_route_probe_info;

ZEL_LAYOUT(trace_route_probe_info, status, 0);
ZEL_LAYOUT(trace_route_probe_info, code, 4);
ZEL_LAYOUT(trace_route_probe_info, time, 8);
ZEL_SIZE(trace_route_probe_info, 12);

typedef struct trace_route_response_info {
    int32_t ttl;
    char ip_address[32];
    char host_name[64];
    int32_t probe_count;
    trace_route_probe_info probe[TRACE_ROUTE_MAX_PROBES];
} trace_route_response_info;

ZEL_LAYOUT(trace_route_response_info, ttl, 0);
ZEL_LAYOUT(trace_route_response_info, ip_address, 4);
ZEL_LAYOUT(trace_route_response_info, host_name, 36);
ZEL_LAYOUT(trace_route_response_info, probe_count, 100);
ZEL_LAYOUT(trace_route_response_info, probe, 104);
ZEL_SIZE(trace_route_response_info, 164);

/* The trace context is the platform's; the module reads one field of it. */
typedef struct trace_route_context trace_route_context;

typedef struct trace_route_context_view {
    unsigned char opaque[580];
    int32_t reply_mtu; /* appended to the annotation of reply code 5 */
} trace_route_context_view;

ZEL_LAYOUT(trace_route_context_view, reply_mtu, 580);
ZEL_SIZE(trace_route_context_view, 584);

#undef ZEL_LAYOUT
#undef ZEL_SIZE

#ifdef __cplusplus
}
#endif

#endif /* ZEL_PLATFORM_RECORDS_H */
