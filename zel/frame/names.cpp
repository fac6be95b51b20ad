#include "frame/names.hpp"

#include "frame/process.hpp"
#include "zel_util/constants.hpp"

namespace zel {

Ref global(PyObject *name) {
    PyObject *value = PyDict_GetItemWithError(P.globals, name);
    if (value == nullptr && !PyErr_Occurred()) {
        value = PyDict_GetItemWithError(P.builtins, name);
        if (value == nullptr && !PyErr_Occurred()) {
            PyErr_Format(PyExc_NameError, "name '%U' is not defined", name);
        }
    }
    if (value == nullptr)
        throw_error();
    return Ref::borrow(value);
}

Ref make_named_tuple(PyObject *type_name, PyObject *fields) {
    Ref type = call(global(K.namedtuple).get(), type_name, fields);
    require_status(PyObject_SetAttr(type.get(), K.__module__, global(K.__name__).get()));
    return type;
}

void set_global(PyObject *name, PyObject *value) {
    require_status(PyDict_SetItem(P.globals, name, value));
}

}  // namespace zel
