// Calling Python objects with positional arguments; raising by throwing.
#pragma once

#include <Python.h>

#include "core/ref.hpp"

namespace zel {

// callable(*args).
template <typename... Args>
Ref call(PyObject *callable, Args... args) {
    PyObject *argv[] = {nullptr, args...};
    size_t nargs = sizeof...(Args) | PY_VECTORCALL_ARGUMENTS_OFFSET;
    return require(PyObject_Vectorcall(callable, argv + 1, nargs, nullptr));
}

// obj.name(*args).
template <typename... Args>
Ref call_method(PyObject *obj, PyObject *name, Args... args) {
    PyObject *argv[] = {obj, args...};
    size_t nargs = (1 + sizeof...(Args)) | PY_VECTORCALL_ARGUMENTS_OFFSET;
    return require(PyObject_VectorcallMethod(name, argv, nargs, nullptr));
}

}  // namespace zel
