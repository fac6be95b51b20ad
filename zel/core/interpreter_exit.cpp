#include "core/interpreter_exit.hpp"

#include <Python.h>

#include "core/ref.hpp"

namespace zel {

namespace {

PyObject *on_interpreter_exit(PyObject *, PyObject *) {
    interpreter_exit_begun.store(true);
    Py_RETURN_NONE;
}

PyMethodDef on_interpreter_exit_def = {"zel_util_exit_begun", on_interpreter_exit, METH_NOARGS,
                                       nullptr};
bool registered = false;

}  // namespace

void watch_for_interpreter_exit() {
    if (registered)
        return;
    Ref callback = require(PyCFunction_New(&on_interpreter_exit_def, nullptr));
    Ref atexit = require(PyImport_ImportModule("atexit"));
    require(PyObject_CallMethod(atexit.get(), "register", "O", callback.get()));
    registered = true;
}

}  // namespace zel
