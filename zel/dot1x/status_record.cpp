#include "dot1x/status_record.hpp"

#include <cstring>

#include "core/calls.hpp"
#include "core/errors.hpp"
#include "core/module_namespace.hpp"
#include "core/record.hpp"
#include "core/text_conversion.hpp"
#include "dot1x/strings.hpp"
#include "platform/platform.h"

namespace zel {

namespace {

[[noreturn]] void report_no_memory(PyObject *message) {
    Ref logger = global(dot1x_names._logger);
    call_method(logger.get(), dot1x_names.error, message);
    raise_cfunction_error(dot1x_names.malloc_fn);
}

}  // namespace

StatusRecord::StatusRecord(PyObject *interface_name, PyObject *no_memory)
    : block_(static_cast<dot1x_status_info *>(PyMem_Malloc(sizeof(dot1x_status_info)))) {
    if (!block_)
        report_no_memory(no_memory);
    // Cleared, as every record block is: a platform that reports success
    // without filling all of it leaves empty texts and zeros, never the
    // heap's earlier contents.
    std::memset(block_.get(), 0, sizeof(dot1x_status_info));
    // The converted name must outlive the dump, which reads its buffer.
    CString name = to_bytes(interface_name);
    const int result = dump_tessel_802_1x_status(name.c_str(), block_.get());
    if (result != 1)
        raise_cfunction_error("dump_tessel_802_1x_status", result);
}

size_t StatusRecord::sessions() const {
    return valid_entries(block_->count, DOT1X_MAX_SESSIONS);
}

}  // namespace zel
