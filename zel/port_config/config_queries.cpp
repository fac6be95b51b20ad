// Configuration queries: the last backup time, the diagnostic-debug flag and
// two fixed configuration constants.
#include "frame/convert.hpp"
#include "frame/names.hpp"
#include "frame/siblings.hpp"
#include "platform/platform.h"
#include "port_config/port_config.hpp"
#include "zel_util/constants.hpp"

namespace zel {

namespace {

constexpr int kBackupKeySize = 20;

}  // namespace

Ref get_last_backup(const Args &) {
    char key[kBackupKeySize];
    {
        CString key_value(global(K._KEY));
        S.strtcpy(key, kBackupKeySize, key_value.c_str());
    }
    long timestamp = 0;
    if (backupts_GetTimeStamp(key, &timestamp) != 1)
        return Ref::borrow(Py_None);
    Ref from_timestamp = getattr(global(K.datetime).get(), K.fromtimestamp);
    return call(from_timestamp.get(), to_int(timestamp).get());
}

Ref get_diag_debug_status(const Args &) {
    return to_int(is_diag_debug_enabled());
}

// The configuration database's buffer limit: one byte is kept for the NUL.
Ref get_cmdb_max_buff(const Args &) {
    return Ref::borrow(K.n_4095);
}

// The spanning-tree standard's default bridge priority, 0x8000.
Ref stp_instance_priority_default(const Args &) {
    return Ref::borrow(K.n_32768);
}

}  // namespace zel
