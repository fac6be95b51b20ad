// 802.1X, hardware lists, sticky MAC flush and the small configuration
// queries: each answers straight from its script.
#include "exports.h"

#include <cstring>

#include "engine.h"

using zelsim::Fn;
using zelsim::text_arg;

int dump_tessel_802_1x_status(const char *interface_name, dot1x_status_info *out) {
    // Ports are scripted per interface name; a name without its own script
    // falls back to the unkeyed one (an unknown port).
    std::string key = interface_name == nullptr ? std::string() : std::string(interface_name);
    const std::string *keyp = interface_name == nullptr ? nullptr : &key;
    return zelsim::respond(Fn::dump_tessel_802_1x_status, {text_arg(interface_name)}, out,
                           sizeof *out, keyp);
}

int get_temp_list(temp_list_info *out) {
    return zelsim::respond(Fn::get_temp_list, {}, out, sizeof *out);
}

int get_psu_list(psu_list_info *out) {
    return zelsim::respond(Fn::get_psu_list, {}, out, sizeof *out);
}

int get_flash_list(flash_list_info *out) {
    return zelsim::respond(Fn::get_flash_list, {}, out, sizeof *out);
}

int plat_switch_get_data_channel_unit(void) {
    return zelsim::respond(Fn::plat_switch_get_data_channel_unit, {}, nullptr, 0);
}

int sms_do_flush(int unit, const char *interface_name) {
    return zelsim::respond(Fn::sms_do_flush, {std::int64_t{unit}, text_arg(interface_name)},
                           nullptr, 0);
}

int backupts_GetTimeStamp(const char *key, long *timestamp) {
    zelsim::Step step;
    {
        std::lock_guard lock(zelsim::state_mutex());
        step = zelsim::take_step(Fn::backupts_GetTimeStamp, {text_arg(key)});
    }
    zelsim::pause(step);
    // The platform only writes the time when it has one to report.
    if (step.result == 1) {
        zelsim::put_record(step, timestamp, sizeof *timestamp);
    }
    return static_cast<int>(step.result);
}

int is_diag_debug_enabled(void) {
    return zelsim::respond(Fn::is_diag_debug_enabled, {}, nullptr, 0);
}

int api_mtraceroute(char *dst, int confidence, int flow_id, int max_ttl, char *r_file) {
    return zelsim::respond(Fn::api_mtraceroute,
                           {text_arg(dst), std::int64_t{confidence}, std::int64_t{flow_id},
                            std::int64_t{max_ttl}, text_arg(r_file)},
                           nullptr, 0);
}
