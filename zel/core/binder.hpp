// The one argument binder of the operations: positional and keyword
// arguments onto the parameters, with the interpreter's usual messages,
// then the exact-int check of each parameter that asks for it, in order.
#pragma once

#include <Python.h>

#include <cstddef>

#include "core/operation.hpp"

namespace zel {

// What the binder needs of a function object, made with it.
struct Signature {
    const Operation *op;
    size_t nrequired;              // the required parameters come first
    PyObject *names[kMaxParams];   // the parameters' names, interned
    PyObject *defaults = nullptr;  // tuple of the defaults from nrequired on; NULL if none
};

// Fills bound[0 .. nparams) with borrowed references, or throws with the
// TypeError set.
void bind(const Signature &sig, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames,
          PyObject *(&bound)[kMaxParams]);

}  // namespace zel
