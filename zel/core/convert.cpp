#include "core/convert.hpp"

#include <climits>

#include "core/errors.hpp"

namespace zel {

CString::CString(Ref holder) : holder_(std::move(holder)) {
    PyObject *obj = holder_.get();
    if (PyByteArray_Check(obj)) {
        data_ = PyByteArray_AS_STRING(obj);
        size_ = PyByteArray_GET_SIZE(obj);
        return;
    }
    char *data = nullptr;
    require_status(PyBytes_AsStringAndSize(obj, &data, &size_));
    data_ = data;
}

Ref bytes_of(const char *field, size_t room) {
    return require(
        PyBytes_FromStringAndSize(field, static_cast<Py_ssize_t>(text_length(field, room))));
}

int as_c_int(PyObject *value) {
    const long result = PyLong_AsLong(value);
    if (result == -1 && PyErr_Occurred())
        throw_error();
    if (result < INT_MIN || result > INT_MAX) {
        raise_error(PyExc_OverflowError, "value too large to convert to int");
    }
    return static_cast<int>(result);
}

}  // namespace zel
