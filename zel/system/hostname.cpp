// Hostname change: the name is written into the update record of
// configuration object 11 and committed through the configuration database.
#include <cstdio>

#include "core/bounded_copy.hpp"
#include "core/convert.hpp"
#include "core/operation.hpp"
#include "core/text_conversion.hpp"
#include "platform/platform.h"
#include "system/strings.hpp"

namespace zel {

namespace {

constexpr int kHostnameObject = HOSTNAME_CFG_OBJECT;
constexpr size_t kNameBufferSize = HOSTNAME_FIELD_SIZE;

}  // namespace

// The platform's status is the caller's to interpret; only a missing update
// record is reported here, as -1.
Ref set_hostname(PyObject *hostname) {
    char name[kNameBufferSize];
    {
        CString converted = to_bytes(hostname);
        copy_text(name, converted.c_str());
    }
    check_create_zel_query(kHostnameObject);
    void *update = zel_query_update(nCfg[kHostnameObject]);
    if (update == nullptr)
        return Ref::borrow(system_names.no_update);
    auto *record = static_cast<hostname_update_record *>(update);
    // Only the text and its NUL are written: the rest of the field keeps what
    // the platform put there.
    std::snprintf(record->host_name, sizeof record->host_name, "%s", name);
    record->host_name[sizeof record->host_name - 1] = '\0';
    return to_int(nCfg_obj_change(kHostnameObject, update));
}
ZEL_OPERATION(set_hostname, param("hostname"));

}  // namespace zel
