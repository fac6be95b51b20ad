// Attribute and item access on Python objects; raising by throwing. Each is
// noted to the speed layer first (core/shortcuts.hpp): a descriptor, a
// __getattr__ or a mapping's __setitem__ may run Python code.
#pragma once

#include <Python.h>

#include "core/ref.hpp"
#include "core/shortcuts.hpp"

namespace zel {

// obj.name
inline Ref getattr(PyObject *obj, PyObject *name) {
    note_python_call();
    return require(PyObject_GetAttr(obj, name));
}

// obj[key]
inline Ref getitem(PyObject *obj, PyObject *key) {
    note_python_call();
    return require(PyObject_GetItem(obj, key));
}

// mapping[key] = value
inline void setitem(PyObject *mapping, PyObject *key, PyObject *value) {
    note_python_call();
    require_status(PyObject_SetItem(mapping, key, value));
}

}  // namespace zel
