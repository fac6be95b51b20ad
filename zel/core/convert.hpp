// Conversions between the C values the platform uses and Python values.
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/ref.hpp"

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

// Length of the text in a fixed room: up to the first NUL, never past the room.
inline size_t text_length(const char *field, size_t room) {
    const void *nul = std::memchr(field, 0, room);
    return nul ? static_cast<size_t>(static_cast<const char *>(nul) - field) : room;
}

// The bytes of a NUL-terminated text inside a fixed room.
Ref bytes_of(const char *field, size_t room);
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
// Single precision widened exactly to a Python float.
inline Ref to_float(float value) {
    return require(PyFloat_FromDouble(static_cast<double>(value)));
}

// A Python int as a C int; OverflowError outside the signed 32-bit range.
int as_c_int(PyObject *value);

}  // namespace zel
