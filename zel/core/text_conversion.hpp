// Text conversions through the module-level bytes_ and text_ (pyramid's).
//
// Shortcut: while bytes_ and text_ are bound to pyramid's own functions as
// imported, unchanged (core/snapshot.hpp), conversions are made directly
// with the codec functions. They must stay equal to calling bytes_ and
// text_: the same objects, the same errors, and a str or bytes subclass,
// another encoding or a rebinding goes through the call.
#pragma once

#include <Python.h>

#include <cstddef>

#include "core/convert.hpp"
#include "core/ref.hpp"

namespace zel {

// Records the imported bytes_ and text_ for the direct path; called by the
// execution step after the imports.
void remember_text_conversions();

// bytes_(value): a str becomes Latin-1 bytes, bytes and bytearray pass.
CString to_bytes(PyObject *value);
// bytes_(value, _CHARSET): a str becomes bytes in the module's charset.
CString to_bytes_in_charset(PyObject *value);

// text_(bytes of the field): the module's text conversion (Latin-1).
Ref text_of(const char *field, size_t room);
// The same with `text_fn`, the text_ the caller has already looked up.
Ref text_of(PyObject *text_fn, const char *field, size_t room);
// text_(value) for any value: bytes become text, anything else passes as is.
Ref to_text(PyObject *value);
// Whether `text_fn` is pyramid's own text_, unchanged: text_(b) is then
// b.decode("latin-1").
bool is_pyramids_text(PyObject *text_fn);

template <size_t N>
Ref text_of(const char (&field)[N]) {
    return text_of(field, N);
}
template <size_t N>
Ref text_of(PyObject *text_fn, const char (&field)[N]) {
    return text_of(text_fn, field, N);
}

}  // namespace zel
