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

namespace {

// A named-tuple class made at initialisation, with the __new__ and __init__
// it was made with. While the class still has them, an instance can be
// built as its __new__ builds it (tuple.__new__(cls, values)) without
// running that Python-level __new__.
struct MadeTuple {
    PyObject *type;
    PyObject *new_fn;
    PyObject *init_fn;
};

constexpr size_t kMaxMadeTuples = 4;
MadeTuple made_tuples[kMaxMadeTuples];
size_t made_tuple_count = 0;

const MadeTuple *made_tuple(PyObject *type) {
    for (size_t i = 0; i < made_tuple_count; ++i) {
        if (made_tuples[i].type == type)
            return &made_tuples[i];
    }
    return nullptr;
}

bool unchanged(const MadeTuple &made) {
    auto *type = reinterpret_cast<PyTypeObject *>(made.type);
    return _PyType_Lookup(type, K.__new__) == made.new_fn &&
           _PyType_Lookup(type, K.__init__) == made.init_fn;
}

void remember_made_tuple(PyObject *type) {
    if (!PyType_Check(type) || made_tuple(type) != nullptr || made_tuple_count == kMaxMadeTuples)
        return;
    auto *as_type = reinterpret_cast<PyTypeObject *>(type);
    made_tuples[made_tuple_count++] = {Py_NewRef(type),
                                       Py_XNewRef(_PyType_Lookup(as_type, K.__new__)),
                                       Py_XNewRef(_PyType_Lookup(as_type, K.__init__))};
}

}  // namespace

Ref make_named_tuple(PyObject *type_name, PyObject *fields) {
    Ref type = call(global(K.namedtuple).get(), type_name, fields);
    require_status(PyObject_SetAttr(type.get(), K.__module__, global(K.__name__).get()));
    remember_made_tuple(type.get());
    return type;
}

Ref new_named_tuple_of(PyObject *type, PyObject *const *items, size_t n) {
    const MadeTuple *made = made_tuple(type);
    if (made == nullptr || !unchanged(*made))
        return require(PyObject_Vectorcall(type, items, n, nullptr));
    auto *as_type = reinterpret_cast<PyTypeObject *>(type);
    Ref instance = require(as_type->tp_alloc(as_type, static_cast<Py_ssize_t>(n)));
    for (size_t i = 0; i < n; ++i)
        PyTuple_SET_ITEM(instance.get(), static_cast<Py_ssize_t>(i), Py_NewRef(items[i]));
    return instance;
}

void set_global(PyObject *name, PyObject *value) {
    require_status(PyDict_SetItem(P.globals, name, value));
}

}  // namespace zel
