#include "core/shortcuts/known_function.hpp"

#include "core/access.hpp"
#include "core/errors.hpp"
#include "core/shortcuts/strings.hpp"
#include "core/strings.hpp"

namespace zel {

namespace {

// What the name resolves to for the function's code: its globals, then its
// builtins. NULL when unbound.
Ref resolve(PyObject *globals, PyObject *builtins, PyObject *name) {
    PyObject *value = PyDict_GetItemWithError(globals, name);
    if (value == nullptr && !PyErr_Occurred() && PyDict_Check(builtins))
        value = PyDict_GetItemWithError(builtins, name);
    if (value == nullptr && PyErr_Occurred())
        throw_error();
    return Ref::borrow(value);
}

}  // namespace

void KnownFunction::take(PyObject *function) {
    KnownFunction taken;
    taken.function_ = Ref::borrow(function);
    taken.code_ = Ref::borrow(PyFunction_GetCode(function));
    taken.defaults_ = Ref::borrow(PyFunction_GetDefaults(function));
    taken.kwdefaults_ = Ref::borrow(PyFunction_GetKwDefaults(function));
    taken.globals_ = Ref::borrow(PyFunction_GetGlobals(function));
    taken.builtins_ = getattr(function, shortcut_names.__builtins__);
    // co_names also holds attribute names; those are simply unbound.
    Ref names = getattr(taken.code_.get(), shortcut_names.co_names);
    if (!PyTuple_Check(names.get()))
        raise_error(PyExc_SystemError, "a code object's co_names is not a tuple");
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(names.get()); ++i) {
        PyObject *name = PyTuple_GET_ITEM(names.get(), i);
        taken.names_.emplace_back(Ref::borrow(name),
                                  resolve(taken.globals_.get(), taken.builtins_.get(), name));
    }
    *this = std::move(taken);
}

PyObject *KnownFunction::resolved(PyObject *name) const {
    for (const auto &[known, value] : names_) {
        if (known.get() == name)
            return value.get();
    }
    return nullptr;
}

bool KnownFunction::names_unchanged() const {
    for (const auto &[name, value] : names_) {
        if (resolve(globals_.get(), builtins_.get(), name.get()).get() != value.get())
            return false;
    }
    return true;
}

}  // namespace zel
