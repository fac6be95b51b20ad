// Attribute and item access on Python objects; raising by throwing.
#pragma once

#include <Python.h>

#include "core/ref.hpp"

namespace zel {

// obj.name
inline Ref getattr(PyObject *obj, PyObject *name) {
    return require(PyObject_GetAttr(obj, name));
}

// The entry for `name` in the dicts along the method resolution order of
// `type`, as the interpreter finds a special method: no descriptor is run.
// NULL when none has it.
inline Ref type_lookup(PyTypeObject *type, PyObject *name) {
    Ref mro = Ref::borrow(type->tp_mro);  // held: a lookup may run code
    for (Py_ssize_t i = 0; mro && i < PyTuple_GET_SIZE(mro.get()); ++i) {
        auto *base = reinterpret_cast<PyTypeObject *>(PyTuple_GET_ITEM(mro.get(), i));
        Ref dict = Ref::steal(PyType_GetDict(base));
        PyObject *found = dict ? PyDict_GetItemWithError(dict.get(), name) : nullptr;
        if (found != nullptr)
            return Ref::borrow(found);
        if (PyErr_Occurred())
            throw_error();
    }
    return Ref();
}

// mapping[key] = value
inline void setitem(PyObject *mapping, PyObject *key, PyObject *value) {
    require_status(PyObject_SetItem(mapping, key, value));
}

}  // namespace zel
