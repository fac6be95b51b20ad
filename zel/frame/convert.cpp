#include "frame/convert.hpp"

#include <climits>

#include "frame/names.hpp"
#include "frame/process.hpp"
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

namespace {

// The imported object if it is pyramid.compat's own function of that name.
PyObject *compat_function(PyObject *name) {
    Ref value = global(name);
    if (!PyFunction_Check(value.get()))
        return nullptr;
    PyObject *module = PyFunction_GetModule(value.get());
    if (module == nullptr || !PyUnicode_Check(module))
        return nullptr;
    if (PyUnicode_CompareWithASCIIString(module, "pyramid.compat") != 0)
        return nullptr;
    return value.release();
}

// pyramid.compat's bytes_(s, encoding='latin-1', errors='strict') encodes an
// exact str with s.encode(encoding, errors) and returns anything else as it
// is; for exact str and the encodings the module uses, the codec functions
// below give the same objects and the same errors.
Ref direct_bytes(PyObject *value, PyObject *charset) {
    if (!PyUnicode_CheckExact(value))
        return Ref::borrow(value);
    if (charset == nullptr)
        return require(PyUnicode_AsLatin1String(value));
    return require(PyUnicode_AsUTF8String(value));
}

bool direct_bytes_applies(PyObject *bytes_fn, PyObject *charset) {
    if (bytes_fn != P.compat_bytes || bytes_fn == nullptr)
        return false;
    return charset == nullptr || charset == K.CharsetValue;
}

}  // namespace

void remember_text_conversions() {
    Py_XSETREF(P.compat_bytes, compat_function(K.bytes_));
    Py_XSETREF(P.compat_text, compat_function(K.text_));
}

CString to_bytes(PyObject *value) {
    Ref bytes_fn = global(K.bytes_);
    if (direct_bytes_applies(bytes_fn.get(), nullptr))
        return CString(direct_bytes(value, nullptr));
    return CString(call(bytes_fn.get(), value));
}

CString to_bytes_in_charset(PyObject *value) {
    Ref bytes_fn = global(K.bytes_);
    Ref charset = global(K._CHARSET);
    if (direct_bytes_applies(bytes_fn.get(), charset.get())) {
        return CString(direct_bytes(value, charset.get()));
    }
    return CString(call(bytes_fn.get(), value, charset.get()));
}

Ref bytes_of(const char *field, size_t room) {
    return require(
        PyBytes_FromStringAndSize(field, static_cast<Py_ssize_t>(text_length(field, room))));
}

Ref text_of(const char *field, size_t room) {
    Ref text_fn = global(K.text_);
    if (text_fn.get() == P.compat_text && text_fn) {
        // text_ decodes bytes as Latin-1, which cannot fail.
        return require(PyUnicode_DecodeLatin1(
            field, static_cast<Py_ssize_t>(text_length(field, room)), nullptr));
    }
    Ref bytes = bytes_of(field, room);
    return call(text_fn.get(), bytes.get());
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
