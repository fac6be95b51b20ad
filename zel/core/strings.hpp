// The core's own interned names: the special names and module-level names
// that the shared machinery (function objects, text conversions, named
// tuples, errors, with blocks) uses, and the few that several subsystems
// use (the builtin and os function `open`, the empty string).
#pragma once

#include <Python.h>

#include "core/interned.hpp"

// clang-format off
#define ZEL_CORE_STRINGS(X)                        \
    /* module-level names the core reads */        \
    X(bytes_, "bytes_")                            \
    X(text_, "text_")                              \
    X(_CHARSET, "_CHARSET")                        \
    X(CFunctionError, "CFunctionError")            \
    X(namedtuple, "namedtuple")                    \
    /* special names */                            \
    X(__name__, "__name__")                        \
    X(__module__, "__module__")                    \
    X(__enter__, "__enter__")                      \
    X(__exit__, "__exit__")                        \
    X(object, "object")                            \
    /* names and literals of several subsystems */ \
    X(open, "open")                                \
    X(empty, "")                                   \
    /* literals */                                 \
    X(int_, "int")                                 \
    X(utf_8, "utf-8")
// clang-format on

namespace zel {

struct CoreNames {
    ZEL_CORE_STRINGS(ZEL_STRING_MEMBER)
};

extern CoreNames core_names;

// Interns the core's strings. Throws PyErrorSet.
void intern_core_strings();

}  // namespace zel
