// Names and numbers of the system-wide operations (hostname, configuration
// queries), made once by intern_system_strings() at initialisation.
#pragma once

#include <Python.h>

#include "core/interned.hpp"

// clang-format off
#define ZEL_SYSTEM_STRINGS(X)              \
    X(_KEY, "_KEY")                        \
    X(datetime, "datetime")                \
    X(fromtimestamp, "fromtimestamp")
// clang-format on

namespace zel {

struct SystemNames {
    ZEL_SYSTEM_STRINGS(ZEL_STRING_MEMBER)
    PyObject *cmdb_max_buff = nullptr;  // 4095
    PyObject *stp_priority = nullptr;   // 32768
    PyObject *no_update = nullptr;      // -1: set_hostname without an update record
};

extern SystemNames system_names;

// Throws PyErrorSet.
void intern_system_strings();

}  // namespace zel
