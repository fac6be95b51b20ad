// Conversions between Python values and the C values the platform takes,
// and the error the operations raise when a platform call fails.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "frame/ref.hpp"

namespace zel {

// The byte buffer of a converted argument, valid while this object lives.
class CString {
  public:
    explicit CString(Ref holder);  // holder must be bytes or bytearray, else TypeError
    const char *c_str() const { return data_; }
    Py_ssize_t size() const { return size_; }

  private:
    Ref holder_;
    const char *data_ = nullptr;
    Py_ssize_t size_ = 0;
};

// Records the imported bytes_ and text_ for the direct conversion path.
void remember_text_conversions();

// bytes_(value): a str becomes Latin-1 bytes, bytes and bytearray pass.
CString to_bytes(PyObject *value);
// bytes_(value, _CHARSET): a str becomes bytes in the module's charset.
CString to_bytes_in_charset(PyObject *value);

// Length of the text in a fixed room: up to the first NUL, never past the room.
inline size_t text_length(const char *field, size_t room) {
    const void *nul = std::memchr(field, 0, room);
    return nul ? static_cast<size_t>(static_cast<const char *>(nul) - field) : room;
}

// The bytes of a NUL-terminated text inside a fixed room.
Ref bytes_of(const char *field, size_t room);
// text_(bytes of the field): the module's text conversion (Latin-1).
Ref text_of(const char *field, size_t room);
// The same with `text_fn`, the text_ the caller has already looked up.
Ref text_of(PyObject *text_fn, const char *field, size_t room);
// text_(value) for any value: bytes become text, anything else passes as is.
Ref to_text(PyObject *value);

template <size_t N>
Ref text_of(const char (&field)[N]) {
    return text_of(field, N);
}
template <size_t N>
Ref text_of(PyObject *text_fn, const char (&field)[N]) {
    return text_of(text_fn, field, N);
}
template <size_t N>
Ref bytes_of(const char (&field)[N]) {
    return bytes_of(field, N);
}

inline Ref to_int(long value) {
    return require(PyLong_FromLong(value));
}
inline Ref to_int_unsigned(unsigned long long value) {
    return require(PyLong_FromUnsignedLongLong(value));
}

// A Python int as a C int; OverflowError outside the signed 32-bit range.
int as_c_int(PyObject *value);

// Raises CFunctionError(function) or CFunctionError(function, code), looking
// CFunctionError up in the module namespace.
[[noreturn]] void raise_cfunction_error(PyObject *function);
[[noreturn]] void raise_cfunction_error(PyObject *function, long code);

// Raises `exception` (an instance or a class) the way a raise statement does.
[[noreturn]] void raise_object(PyObject *exception);

}  // namespace zel
