#include "core/errors.hpp"

#include "core/calls.hpp"
#include "core/convert.hpp"
#include "core/module_namespace.hpp"
#include "core/strings.hpp"

namespace zel {

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
    Ref error = call(global(K.CFunctionError).get(), function, to_int(code).get());
    raise_object(error.get());
}

}  // namespace zel
