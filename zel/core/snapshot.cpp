#include "core/snapshot.hpp"

#include "core/access.hpp"
#include "core/errors.hpp"
#include "core/module_namespace.hpp"
#include "core/strings.hpp"

namespace zel {

namespace {

// What the name resolves to for the function's code: its globals, then its
// builtins. Borrowed; NULL when unbound.
PyObject *resolve(PyObject *globals, PyObject *builtins, PyObject *name) {
    PyObject *value = PyDict_GetItemWithError(globals, name);
    if (value == nullptr && !PyErr_Occurred() && PyDict_Check(builtins))
        value = PyDict_GetItemWithError(builtins, name);
    if (value == nullptr && PyErr_Occurred())
        throw_error();
    return value;
}

}  // namespace

void FunctionSnapshot::take(PyObject *function) {
    FunctionSnapshot taken;
    taken.function_ = Ref::borrow(function);
    taken.code_ = Ref::borrow(PyFunction_GetCode(function));
    taken.defaults_ = Ref::borrow(PyFunction_GetDefaults(function));
    taken.kwdefaults_ = Ref::borrow(PyFunction_GetKwDefaults(function));
    taken.globals_ = Ref::borrow(PyFunction_GetGlobals(function));
    taken.builtins_ = getattr(function, core_names.__builtins__);
    watch_dict(taken.globals_.get());
    if (PyDict_Check(taken.builtins_.get()))
        watch_dict(taken.builtins_.get());
    taken.checked_ = namespace_stamp();
    // co_names also holds attribute names; those are simply unbound.
    Ref names = getattr(taken.code_.get(), core_names.co_names);
    if (!PyTuple_Check(names.get())) {
        raise_error(PyExc_SystemError, "a code object's co_names is not a tuple");
    }
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(names.get()); ++i) {
        PyObject *name = PyTuple_GET_ITEM(names.get(), i);
        PyObject *value = resolve(taken.globals_.get(), taken.builtins_.get(), name);
        taken.names_.emplace_back(Ref::borrow(name), Ref::borrow(value));
    }
    *this = std::move(taken);
}

bool FunctionSnapshot::names_unchanged() const {
    const uint64_t now = namespace_stamp();
    if (now != 0 && now == checked_)
        return true;
    for (const auto &[name, value] : names_) {
        if (resolve(globals_.get(), builtins_.get(), name.get()) != value.get())
            return false;
    }
    checked_ = now;
    return true;
}

}  // namespace zel
