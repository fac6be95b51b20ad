#include "core/errors.hpp"

#include <cstdarg>

#include "core/calls.hpp"
#include "core/convert.hpp"
#include "core/module_namespace.hpp"
#include "core/strings.hpp"

namespace zel {

void raise_error(PyObject *type, const char *format, ...) {
    va_list args;
    va_start(args, format);
    PyErr_FormatV(type, format, args);
    va_end(args);
    throw_error();
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
    Ref error = call(global(core_names.CFunctionError).get(), function);
    raise_object(error.get());
}

void raise_cfunction_error(const char *function, long code) {
    Ref name = require(PyUnicode_FromString(function));
    Ref error = call(global(core_names.CFunctionError).get(), name.get(), to_int(code).get());
    raise_object(error.get());
}

}  // namespace zel
