// Raising Python exceptions from the module: an exception with a message,
// the platform-failure error CFunctionError, and raising an exception object
// as a raise statement does.
#pragma once

#include <Python.h>

namespace zel {

// Sets an exception of `type` with the message PyErr_Format makes of
// `format` and its arguments, and throws PyErrorSet: a raise in one statement.
[[noreturn]] void raise_error(PyObject *type, const char *format, ...);

// Raises CFunctionError(function) or CFunctionError(function, code), looking
// CFunctionError up in the module namespace. A platform function is named by
// its C name, made into a str only when the error is raised; a name made
// ahead (an interned str) serves a path that must not allocate.
[[noreturn]] void raise_cfunction_error(PyObject *function);
[[noreturn]] void raise_cfunction_error(const char *function, long code);

// Raises `exception` (an instance or a class) the way a raise statement does.
[[noreturn]] void raise_object(PyObject *exception);

}  // namespace zel
