// Calling Python objects with positional arguments; raising by throwing.
// Every call is noted to the speed layer first (core/shortcuts.hpp): the
// code it runs may change what the layer checked.
#pragma once

#include <Python.h>

#include <cstddef>

#include "core/ref.hpp"
#include "core/shortcuts.hpp"

namespace zel {

// callable(*args).
template <typename... Args>
Ref call(PyObject *callable, Args... args) {
    PyObject *argv[] = {nullptr, args...};
    size_t nargs = sizeof...(Args) | PY_VECTORCALL_ARGUMENTS_OFFSET;
    note_python_call();
    return require(PyObject_Vectorcall(callable, argv + 1, nargs, nullptr));
}

// callable(*items[:n]).
inline Ref call_vector(PyObject *callable, PyObject *const *items, size_t n) {
    note_python_call();
    return require(PyObject_Vectorcall(callable, items, n, nullptr));
}

// obj.name(*args).
template <typename... Args>
Ref call_method(PyObject *obj, PyObject *name, Args... args) {
    PyObject *argv[] = {obj, args...};
    size_t nargs = (1 + sizeof...(Args)) | PY_VECTORCALL_ARGUMENTS_OFFSET;
    note_python_call();
    return require(PyObject_VectorcallMethod(name, argv, nargs, nullptr));
}

}  // namespace zel
