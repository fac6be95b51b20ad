#include "core/module_namespace.hpp"

#include "core/errors.hpp"
#include "core/process.hpp"

namespace zel {

namespace {

Ref lookup_builtin(PyObject *name) {
    PyObject *value = PyDict_GetItemWithError(process.builtins, name);
    if (value == nullptr && !PyErr_Occurred())
        raise_error(PyExc_NameError, "name '%U' is not defined", name);
    if (value == nullptr)
        throw_error();
    return Ref::borrow(value);
}

}  // namespace

Ref builtin(PyObject *name) {
    return lookup_builtin(name);
}

Ref global(PyObject *name) {
    PyObject *value = PyDict_GetItemWithError(process.globals, name);
    if (value != nullptr)
        return Ref::borrow(value);
    if (PyErr_Occurred())
        throw_error();
    return lookup_builtin(name);
}

Ref global(ShortcutScope &scope, PyObject *name) {
    if (Ref known = shortcuts::global(scope, name))
        return known;
    Ref value = global(name);
    shortcuts::note_global(scope, name, value);
    return value;
}

void set_global(PyObject *name, PyObject *value) {
    require_status(PyDict_SetItem(process.globals, name, value));
}

}  // namespace zel
