// Sticky MAC flush: a pass-through to the platform, whose status the caller
// interprets.
#include "core/convert.hpp"
#include "core/operation.hpp"
#include "core/text_conversion.hpp"
#include "platform/platform.h"

namespace zel {

// The unit is fetched before the name is examined, on every call. A null name
// asks the platform to flush without naming an interface; an empty name is
// passed as an empty string.
Ref delete_sticky_mac_unsaved(PyObject *name) {
    const int unit = plat_switch_get_data_channel_unit();
    if (name == Py_None)
        return to_int(sms_do_flush(unit, nullptr));
    CString interface_name = to_bytes(name);
    return to_int(sms_do_flush(unit, interface_name.c_str()));
}
ZEL_OPERATION(delete_sticky_mac_unsaved, param("name", default_none));

}  // namespace zel
