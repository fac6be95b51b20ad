// Names and values that only the module's start uses: the modules it
// imports, the names it binds and reads nowhere else. A name that an
// operation reads too is that part's (core or subsystem), and the statements
// use it from there. Made once by intern_module_strings() at initialisation.
#pragma once

#include <Python.h>

#include "core/interned.hpp"

// clang-format off
#define ZEL_MODULE_STRINGS(X)                                   \
    /* imported modules whose names nothing else uses */        \
    X(mod_modules_util, "zovrak.modules.modules_util")          \
    X(mod_collections, "collections")                           \
    X(mod_util_errors, "util.errors")                           \
    X(mod_logging, "logging")                                   \
    X(mod_pyramid_compat, "pyramid.compat")                     \
    X(mod_enum, "enum")                                         \
    X(mod_time, "time")                                         \
    /* names only the statements use */                         \
    X(getLogger, "getLogger")                                   \
    X(__test__, "__test__")                                     \
    /* a builtin looked up only to check, at import, that the   \
       builtins have it: no operation calls it */               \
    X(range, "range")                                           \
    /* the module's key in sys.modules */                       \
    X(zel_util_name, "zel.zel_util")
// clang-format on

namespace zel {

struct ModuleNames {
    ZEL_MODULE_STRINGS(ZEL_STRING_MEMBER)
    PyObject *key = nullptr;  // b"sys_confroot", the value of _KEY
};

extern ModuleNames module_names;

// Throws PyErrorSet.
void intern_module_strings();

}  // namespace zel
