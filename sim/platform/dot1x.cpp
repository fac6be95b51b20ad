// 802.1X: the status record of one interface, answered from its script.
#include "exports.h"

#include <string>

#include "engine.h"
#include "guard.h"

using zelsim::Fn;
using zelsim::text_arg;

int dump_tessel_802_1x_status(const char *interface_name, dot1x_status_info *out) {
    return zelsim::platform_answer(Fn::dump_tessel_802_1x_status, zelsim::kPlatformFailed, [&] {
        // Ports are scripted per interface name; a name without its own
        // script falls back to the unkeyed one (an unknown port).
        std::string key = interface_name == nullptr ? std::string() : std::string(interface_name);
        const std::string *keyp = interface_name == nullptr ? nullptr : &key;
        return zelsim::respond(Fn::dump_tessel_802_1x_status, {text_arg(interface_name)}, out,
                               sizeof *out, keyp);
    });
}
