// Sticky MAC flush: the data-channel unit and the flush, each answered
// straight from its script.
#include "exports.h"

#include "engine.h"
#include "guard.h"

using zelsim::Fn;
using zelsim::text_arg;

int plat_switch_get_data_channel_unit(void) {
    return zelsim::platform_answer(
        Fn::plat_switch_get_data_channel_unit, zelsim::kPlatformFailed,
        [] { return zelsim::respond(Fn::plat_switch_get_data_channel_unit, {}, nullptr, 0); });
}

int sms_do_flush(int unit, const char *interface_name) {
    return zelsim::platform_answer(Fn::sms_do_flush, zelsim::kPlatformFailed, [&] {
        return zelsim::respond(Fn::sms_do_flush, {std::int64_t{unit}, text_arg(interface_name)},
                               nullptr, 0);
    });
}
