#include "frame/convert.hpp"

#include <climits>

#include "frame/names.hpp"
#include "zel_util/constants.hpp"

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

CString to_bytes(PyObject *value) {
    return CString(call(global(K.bytes_).get(), value));
}

CString to_bytes(PyObject *value, PyObject *charset) {
    return CString(call(global(K.bytes_).get(), value, charset));
}

Ref bytes_of(const char *field, size_t room) {
    return require(
        PyBytes_FromStringAndSize(field, static_cast<Py_ssize_t>(text_length(field, room))));
}

Ref text_of(const char *field, size_t room) {
    Ref bytes = bytes_of(field, room);
    return call(global(K.text_).get(), bytes.get());
}

int as_c_int(PyObject *value) {
    const long result = PyLong_AsLong(value);
    if (result == -1 && PyErr_Occurred())
        throw_error();
    if (result < INT_MIN || result > INT_MAX) {
        PyErr_SetString(PyExc_OverflowError, "value too large to convert to int");
        throw_error();
    }
    return static_cast<int>(result);
}

void raise_object(PyObject *exception) {
    if (PyExceptionInstance_Check(exception)) {
        PyErr_SetObject(reinterpret_cast<PyObject *>(Py_TYPE(exception)), exception);
    } else if (PyExceptionClass_Check(exception)) {
        PyErr_SetNone(exception);
    } else {
        PyErr_SetString(PyExc_TypeError, "exceptions must derive from BaseException");
    }
    throw_error();
}

void raise_cfunction_error(PyObject *function) {
    Ref error = call(global(K.CFunctionError).get(), function);
    raise_object(error.get());
}

void raise_cfunction_error(PyObject *function, long code) {
    Ref number = to_int(code);
    Ref error = call(global(K.CFunctionError).get(), function, number.get());
    raise_object(error.get());
}

}  // namespace zel
