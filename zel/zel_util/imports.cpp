#include "zel_util/imports.hpp"

#include "core/errors.hpp"
#include "core/module_namespace.hpp"
#include "core/process.hpp"
#include "core/ref.hpp"
#include "core/strings.hpp"

namespace zel {

namespace {

Ref import_module(PyObject *module_name, PyObject *fromlist) {
    return require(
        PyImport_ImportModuleLevelObject(module_name, process.globals, nullptr, fromlist, 0));
}

[[noreturn]] void raise_cannot_import(PyObject *name) {
    raise_error(PyExc_ImportError, "cannot import name %S", name);
}

// The module's __name__ as the fallback below uses it, or NULL when it has
// none that is a str (whatever stands in sys.modules need not be a module).
Ref name_of_module(PyObject *module) {
    PyObject *name = PyObject_GetAttr(module, core_names.__name__);
    if (name == nullptr) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError))
            throw_error();
        PyErr_Clear();
    }
    Ref owned = Ref::steal(name);
    return owned && PyUnicode_Check(owned.get()) ? owned : Ref();
}

// `from module import name`: the attribute, else the sys.modules entry
// "<module>.<name>", else ImportError.
Ref import_from(PyObject *module, PyObject *name) {
    PyObject *value = PyObject_GetAttr(module, name);
    if (value != nullptr)
        return Ref::steal(value);
    if (!PyErr_ExceptionMatches(PyExc_AttributeError))
        throw_error();
    PyErr_Clear();
    Ref module_name = name_of_module(module);
    if (!module_name)
        raise_cannot_import(name);
    Ref full_name = require(PyUnicode_FromFormat("%U.%U", module_name.get(), name));
    value = PyImport_GetModule(full_name.get());
    if (value != nullptr)
        return Ref::steal(value);
    if (PyErr_Occurred())
        throw_error();
    raise_cannot_import(name);
}

}  // namespace

void from_import(PyObject *module_name, std::initializer_list<PyObject *> names) {
    Ref fromlist = require(PyTuple_New(static_cast<Py_ssize_t>(names.size())));
    Py_ssize_t i = 0;
    for (PyObject *name : names)
        PyTuple_SET_ITEM(fromlist.get(), i++, Py_NewRef(name));
    Ref module = import_module(module_name, fromlist.get());
    for (PyObject *name : names)
        set_global(name, import_from(module.get(), name).get());
}

void plain_import(PyObject *module_name) {
    set_global(module_name, import_module(module_name, nullptr).get());
}

}  // namespace zel
