// Text conversions through the module-level bytes_ and text_ (pyramid's).
//
// Each looks the function up at the moment of use and calls it, unless the
// speed layer's direct path gives the same result without the call
// (core/shortcuts.hpp). In a ShortcutScope, the direct path's check is made
// once for the conversions that follow; the unscoped forms check on every
// use.
#pragma once

#include <Python.h>

#include <cstddef>

#include "core/convert.hpp"
#include "core/ref.hpp"
#include "core/shortcuts.hpp"

namespace zel {

// bytes_(value): a str becomes Latin-1 bytes, bytes and bytearray pass.
CString to_bytes(PyObject *value);
// bytes_(value, _CHARSET): a str becomes bytes in the module's charset.
CString to_bytes_in_charset(PyObject *value);

// text_(bytes of the field): the module's text conversion (Latin-1).
Ref text_of(ShortcutScope &scope, const char *field, size_t room);
// text_(value) for any value: bytes become text, anything else passes as is.
Ref to_text(ShortcutScope &scope, PyObject *value);

template <size_t N>
Ref text_of(ShortcutScope &scope, const char (&field)[N]) {
    return text_of(scope, field, N);
}
template <size_t N>
Ref text_of(const char (&field)[N]) {
    ShortcutScope scope;
    return text_of(scope, field, N);
}

}  // namespace zel
