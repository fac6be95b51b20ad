// Hardware lists: temperatures, power supplies and flash partitions, each
// answered straight from its script.
#include "exports.h"

#include "engine.h"
#include "guard.h"

using zelsim::Fn;

int get_temp_list(temp_list_info *out) {
    return zelsim::platform_answer(Fn::get_temp_list, zelsim::kPlatformFailed, [&] {
        return zelsim::respond(Fn::get_temp_list, {}, out, sizeof *out);
    });
}

int get_psu_list(psu_list_info *out) {
    return zelsim::platform_answer(Fn::get_psu_list, zelsim::kPlatformFailed, [&] {
        return zelsim::respond(Fn::get_psu_list, {}, out, sizeof *out);
    });
}

int get_flash_list(flash_list_info *out) {
    return zelsim::platform_answer(Fn::get_flash_list, zelsim::kPlatformFailed, [&] {
        return zelsim::respond(Fn::get_flash_list, {}, out, sizeof *out);
    });
}
