#include "core/snapshot.hpp"

#include "core/module_namespace.hpp"

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
    auto *f = reinterpret_cast<PyFunctionObject *>(function);
    FunctionSnapshot taken;
    taken.function_ = Ref::borrow(function);
    taken.code_ = Ref::borrow(f->func_code);
    taken.defaults_ = Ref::borrow(f->func_defaults);
    taken.kwdefaults_ = Ref::borrow(f->func_kwdefaults);
    taken.globals_ = Ref::borrow(f->func_globals);
    taken.builtins_ = Ref::borrow(f->func_builtins);
    watch_dict(f->func_globals);
    if (PyDict_Check(f->func_builtins))
        watch_dict(f->func_builtins);
    taken.checked_ = namespace_stamp();
    // co_names also holds attribute names; those are simply unbound.
    PyObject *names = reinterpret_cast<PyCodeObject *>(f->func_code)->co_names;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(names); ++i) {
        PyObject *name = PyTuple_GET_ITEM(names, i);
        PyObject *value = resolve(f->func_globals, f->func_builtins, name);
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
