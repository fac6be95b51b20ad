#include "core/except_and_with.hpp"

#include "core/calls.hpp"
#include "core/errors.hpp"
#include "core/strings.hpp"

namespace zel {

CaughtError::CaughtError()
    : error_(Ref::steal(PyErr_GetRaisedException())),
      previous_(Ref::steal(PyErr_GetHandledException())) {
    PyErr_SetHandledException(error_.get());
}

CaughtError::~CaughtError() {
    if (holds_interpreter_lock())  // else the thread is torn down at exit (core/ref.hpp)
        PyErr_SetHandledException(previous_.get());
}

void CaughtError::reraise() {
    PyErr_SetRaisedException(error_.release());
    throw_error();
}

namespace {

// The entry for `name` in the dicts along the method resolution order of
// `type`, as the interpreter finds a special method: no descriptor is run.
// NULL when none has it.
Ref type_lookup(PyTypeObject *type, PyObject *name) {
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

Ref special_method(PyObject *obj, PyObject *name, const char *missing) {
    Ref method = type_lookup(Py_TYPE(obj), name);
    if (!method) {
        raise_error(PyExc_TypeError, missing, Py_TYPE(obj)->tp_name);
    }
    descrgetfunc bind = Py_TYPE(method.get())->tp_descr_get;
    if (bind == nullptr)
        return method;
    return require(bind(method.get(), obj, reinterpret_cast<PyObject *>(Py_TYPE(obj))));
}

}  // namespace

ContextManager::ContextManager(PyObject *manager)
    : enter_(special_method(manager, core_names.__enter__,
                            "'%.200s' object does not support the context manager protocol")),
      exit_(special_method(manager, core_names.__exit__,
                           "'%.200s' object does not support the context manager protocol "
                           "(missed __exit__ method)")) {}

Ref ContextManager::enter() {
    return call(enter_.get());
}

void ContextManager::exit_normally() {
    call(exit_.get(), Py_None, Py_None, Py_None);
}

void ContextManager::exit_with_error() {
    CaughtError caught;
    Ref traceback = Ref::steal(PyException_GetTraceback(caught.get()));
    PyObject *type = reinterpret_cast<PyObject *>(Py_TYPE(caught.get()));
    Ref suppress = call(exit_.get(), type, caught.get(), traceback ? traceback.get() : Py_None);
    if (!require_status(PyObject_IsTrue(suppress.get())))
        caught.reraise();
}

}  // namespace zel
