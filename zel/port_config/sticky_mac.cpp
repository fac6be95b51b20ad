// Sticky MAC flush: a pass-through to the platform, whose status the caller
// interprets.
#include "frame/convert.hpp"
#include "platform/platform.h"
#include "port_config/port_config.hpp"

namespace zel {

// The unit is fetched before the name is examined, on every call. A null name
// asks the platform to flush without naming an interface; an empty name is
// passed as an empty string.
Ref delete_sticky_mac_unsaved(const Args &args) {
    const int unit = plat_switch_get_data_channel_unit();
    PyObject *name = args[0];
    if (name == Py_None)
        return to_int(sms_do_flush(unit, nullptr));
    CString interface_name = to_bytes(name);
    return to_int(sms_do_flush(unit, interface_name.c_str()));
}

}  // namespace zel
