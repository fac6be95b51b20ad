// Configuration queries: the last backup time, the diagnostic-debug flag and
// two fixed configuration constants.
#include "core/access.hpp"
#include "core/calls.hpp"
#include "core/convert.hpp"
#include "core/module_namespace.hpp"
#include "core/operation.hpp"
#include "core/siblings.hpp"
#include "core/text_conversion.hpp"
#include "platform/platform.h"
#include "system/strings.hpp"

namespace zel {

namespace {

constexpr int kBackupKeySize = 20;

}  // namespace

Ref get_last_backup() {
    char key[kBackupKeySize];
    {
        CString key_value(global(system_names._KEY));
        util_string.strtcpy(key, kBackupKeySize, key_value.c_str());
    }
    long timestamp = 0;
    if (backupts_GetTimeStamp(key, &timestamp) != 1)
        return Ref::borrow(Py_None);
    Ref from_timestamp = getattr(global(system_names.datetime).get(), system_names.fromtimestamp);
    return call(from_timestamp.get(), to_int(timestamp).get());
}
ZEL_OPERATION(get_last_backup);

Ref get_diag_debug_status() {
    return to_int(is_diag_debug_enabled());
}
ZEL_OPERATION(get_diag_debug_status);

// The configuration database's buffer limit: one byte is kept for the NUL.
Ref get_cmdb_max_buff() {
    return Ref::borrow(system_names.cmdb_max_buff);
}
ZEL_OPERATION(get_cmdb_max_buff);

// The spanning-tree standard's default bridge priority, 0x8000.
Ref stp_instance_priority_default() {
    return Ref::borrow(system_names.stp_priority);
}
ZEL_OPERATION(stp_instance_priority_default);

}  // namespace zel
