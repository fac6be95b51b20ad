// Attribute and item access on Python objects; raising by throwing.
#pragma once

#include <Python.h>

#include "core/ref.hpp"

namespace zel {

// obj.name
inline Ref getattr(PyObject *obj, PyObject *name) {
    return require(PyObject_GetAttr(obj, name));
}

// mapping[key] = value
inline void setitem(PyObject *mapping, PyObject *key, PyObject *value) {
    require_status(PyObject_SetItem(mapping, key, value));
}

}  // namespace zel
