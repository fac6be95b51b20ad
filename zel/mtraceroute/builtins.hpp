// The builtins the traceroute operations call, fixed at initialisation as
// the builtins had them then.
#pragma once

#include <Python.h>

namespace zel {

struct TracerouteBuiltins {
    PyObject *format = nullptr;       // strong
    PyObject *value_error = nullptr;  // strong
};

extern TracerouteBuiltins traceroute_builtins;

// Throws PyErrorSet.
void cache_traceroute_builtins();

}  // namespace zel
