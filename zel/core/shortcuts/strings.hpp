// The speed layer's own interned names.
#pragma once

#include <Python.h>

#include "core/interned.hpp"

// clang-format off
#define ZEL_SHORTCUT_STRINGS(X)          \
    X(__new__, "__new__")                \
    X(__init__, "__init__")              \
    X(__builtins__, "__builtins__")      \
    X(co_names, "co_names")              \
    X(_fields, "_fields")                \
    X(_tuple_new, "_tuple_new")          \
    X(isinstance, "isinstance")          \
    X(text_type, "text_type")            \
    X(binary_type, "binary_type")        \
    X(encode, "encode")                  \
    X(decode, "decode")                  \
    X(comma, ",")                        \
    X(comma_space, ", ")
// clang-format on

namespace zel {

struct ShortcutNames {
    ZEL_SHORTCUT_STRINGS(ZEL_STRING_MEMBER)
    // The names pyramid's bytes_ and text_ read, in their order:
    // (isinstance, text_type, encode) and (isinstance, binary_type, decode).
    PyObject *bytes_reads = nullptr;
    PyObject *text_reads = nullptr;
};

extern ShortcutNames shortcut_names;

// Interns them; throws PyErrorSet.
void intern_shortcut_strings();

}  // namespace zel
