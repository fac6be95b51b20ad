// The platform's 802.1X record of one interface, shared by both 802.1X
// operations: one block per call, filled by one platform dump.
#pragma once

#include <Python.h>

#include <cstddef>
#include <memory>

#include "core/ref.hpp"
#include "platform/records.h"

namespace zel {

class StatusRecord {
  public:
    // Allocates the block, clears it, converts `interface_name` through the module's
    // bytes_ and has the platform fill the block. On allocation failure
    // `no_memory` is logged through _logger.error and
    // CFunctionError("PyMem_Malloc") raised, before the argument is touched;
    // a dump result other than 1 raises
    // CFunctionError("dump_tessel_802_1x_status", result).
    StatusRecord(PyObject *interface_name, PyObject *no_memory);

    const dot1x_status_info &info() const { return *block_; }

    // Entries 0 .. sessions() - 1 of both arrays are valid. The platform
    // promises a count of 0 to 20; a larger one is held to the 20 entries the
    // record has, so that a misbehaving platform never makes us read past it.
    size_t sessions() const;

  private:
    struct Free {
        void operator()(dot1x_status_info *block) const {
            if (holds_interpreter_lock())  // else torn down at exit (core/ref.hpp)
                PyMem_Free(block);
        }
    };
    std::unique_ptr<dot1x_status_info, Free> block_;
};

}  // namespace zel
