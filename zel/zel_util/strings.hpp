// Names and values of the module's own statements: the modules it imports,
// the names it binds, the builtins it keeps. Made once by
// intern_module_strings() at initialisation.
#pragma once

#include <Python.h>

#include "core/interned.hpp"

// clang-format off
#define ZEL_MODULE_STRINGS(X)                                   \
    /* imported modules */                                      \
    X(mod_modules_util, "zovrak.modules.modules_util")          \
    X(mod_collections, "collections")                           \
    X(mod_util_errors, "util.errors")                           \
    X(mod_datetime, "datetime")                                 \
    X(mod_logging, "logging")                                   \
    X(mod_pyramid_compat, "pyramid.compat")                     \
    X(mod_enum, "enum")                                         \
    X(mod_time, "time")                                         \
    X(mod_os, "os")                                             \
    X(mod_fcntl, "fcntl")                                       \
    /* names bound by the statements */                         \
    X(get_routing_table_result, "get_routing_table_result")     \
    X(namedtuple, "namedtuple")                                 \
    X(CFunctionError, "CFunctionError")                         \
    X(datetime, "datetime")                                     \
    X(getLogger, "getLogger")                                   \
    X(bytes_, "bytes_")                                         \
    X(text_, "text_")                                           \
    X(IntEnum, "IntEnum")                                       \
    X(sleep, "sleep")                                           \
    X(_logger, "_logger")                                       \
    X(_KEY, "_KEY")                                             \
    X(_CHARSET, "_CHARSET")                                     \
    X(charset, "utf-8")                                         \
    X(__test__, "__test__")                                     \
    X(__name__, "__name__")                                     \
    /* builtins kept at initialisation */                       \
    X(range, "range")                                           \
    X(open, "open")                                             \
    X(format, "format")                                         \
    X(ValueError, "ValueError")                                 \
    /* the module's key in sys.modules */                       \
    X(zel_util_name, "zel.zel_util")
// clang-format on

namespace zel {

struct ModuleStrings {
    ZEL_MODULE_STRINGS(ZEL_STRING_MEMBER)
    PyObject *key = nullptr;  // b"sys_confroot", the value of _KEY
};

extern ModuleStrings M;

// Throws PyErrorSet.
void intern_module_strings();

}  // namespace zel
