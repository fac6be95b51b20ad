#include "core/named_tuples.hpp"

#include "core/access.hpp"
#include "core/calls.hpp"
#include "core/module_namespace.hpp"
#include "core/snapshot.hpp"
#include "core/strings.hpp"

namespace zel {

namespace {

// A named-tuple class made at initialisation, with the __new__ and __init__
// it was made with. While the class still has them, unchanged, an instance
// can be built as its __new__ builds it (tuple.__new__(cls, values)) without
// running that Python-level __new__.
struct MadeTuple {
    Ref type;
    FunctionSnapshot new_function;  // what the class's __new__ calls
    Ref init;
    // The class's __new__ entry as last looked up, and whether it still
    // stands: a type watcher clears `current` whenever an attribute of the
    // class or of a base is set or deleted. `rearmed` counts the lookups
    // after such a change; past kMaxRearms the class is taken as changed for
    // good (the interpreter stops reporting a class's changes after some
    // hundreds of them).
    mutable bool current = false;
    mutable unsigned rearmed = 0;
    mutable Ref new_entry;
};

constexpr unsigned kMaxRearms = 500;

constexpr size_t kMaxMadeTuples = 4;

// Process-wide and never released: the interpreter may be gone when static
// destructors run.
struct MadeTuples {
    MadeTuple entries[kMaxMadeTuples];
    size_t count = 0;
};
MadeTuples &made_tuples = *new MadeTuples;

const MadeTuple *made_tuple(PyObject *type) {
    for (size_t i = 0; i < made_tuples.count; ++i) {
        if (made_tuples.entries[i].type.get() == type)
            return &made_tuples.entries[i];
    }
    return nullptr;
}

// The type watcher, process-wide like the classes: -1 until added, -2 when
// every watcher slot is taken (entries are then looked up on every use).
int made_tuple_watcher = -1;

int on_made_tuple_change(PyTypeObject *type) {
    for (size_t i = 0; i < made_tuples.count; ++i) {
        if (made_tuples.entries[i].type.get() == reinterpret_cast<PyObject *>(type))
            made_tuples.entries[i].current = false;
    }
    return 0;
}

void add_made_tuple_watcher() {
    if (made_tuple_watcher != -1)
        return;
    made_tuple_watcher = PyType_AddWatcher(on_made_tuple_change);
    if (made_tuple_watcher < 0) {
        PyErr_Clear();
        made_tuple_watcher = -2;
    }
}

// The function that instance creation calls for the class's `__new__`
// entry, with the class as first argument: the function itself, or the one
// a staticmethod holds (which can be re-initialised in place, so it is
// asked each time). NULL for anything else.
Ref new_function(PyObject *descriptor, PyObject *type) {
    if (descriptor == nullptr)
        return Ref();
    if (PyFunction_Check(descriptor))
        return Ref::borrow(descriptor);
    if (!Py_IS_TYPE(descriptor, &PyStaticMethod_Type))
        return Ref();
    return require(PyStaticMethod_Type.tp_descr_get(descriptor, nullptr, type));
}

// The staticmethod holding __new__ can be re-initialised in place, and the
// function changed in place: those are checked on every use. Watching the
// class again before its entries are looked up makes the interpreter report
// its next change.
bool unchanged(const MadeTuple &made) {
    auto *type = reinterpret_cast<PyTypeObject *>(made.type.get());
    if (!made.current) {
        if (made.rearmed == kMaxRearms)
            return false;
        if (made_tuple_watcher >= 0) {
            require_status(PyType_Watch(made_tuple_watcher, made.type.get()));
            ++made.rearmed;
        }
        if (type_lookup(type, core_names.__init__).get() != made.init.get())
            return false;
        made.new_entry = type_lookup(type, core_names.__new__);
        made.current = made_tuple_watcher >= 0;
    }
    Ref function = new_function(made.new_entry.get(), made.type.get());
    return made.new_function.holds(function.get());
}

// Field names as namedtuple accepts them: identifiers (keywords fail to
// compile below).
bool plain_fields(PyObject *fields) {
    if (!PyTuple_CheckExact(fields) || PyTuple_GET_SIZE(fields) == 0)
        return false;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(fields); ++i) {
        PyObject *field = PyTuple_GET_ITEM(fields, i);
        if (!PyUnicode_CheckExact(field) || !PyUnicode_IsIdentifier(field))
            return false;
    }
    return true;
}

// The __new__ that collections.namedtuple gives a class with these fields:
// built from the same source in the same kind of namespace, so that its
// code compares equal to the real one's and to nothing else. None when the
// source does not compile.
Ref reference_new(PyObject *fields, PyObject *tuple_new) {
    Ref names = require(PyUnicode_Join(core_names.comma_space, fields));
    if (PyTuple_GET_SIZE(fields) == 1)
        names = require(PyUnicode_Concat(names.get(), core_names.comma));
    Ref source = require(
        PyUnicode_FromFormat("lambda _cls, %U: _tuple_new(_cls, (%U))", names.get(), names.get()));
    Ref namespace_ = require(PyDict_New());
    setitem(namespace_.get(), core_names._tuple_new, tuple_new);
    Ref no_builtins = require(PyDict_New());
    setitem(namespace_.get(), core_names.__builtins__, no_builtins.get());
    const char *text = PyUnicode_AsUTF8(source.get());
    if (text == nullptr)
        throw_error();
    PyObject *code = Py_CompileString(text, "<string>", Py_eval_input);
    if (code == nullptr && PyErr_ExceptionMatches(PyExc_SyntaxError)) {
        PyErr_Clear();
        return Ref::borrow(Py_None);
    }
    Ref owned = require(code);
    return require(PyEval_EvalCode(owned.get(), namespace_.get(), namespace_.get()));
}

// Remembered only when it is what collections.namedtuple makes: a direct
// subclass of tuple whose own __new__ runs tuple.__new__ on the fields in
// their order.
void remember_made_tuple(PyObject *type) {
    if (!PyType_Check(type) || made_tuple(type) != nullptr || made_tuples.count == kMaxMadeTuples)
        return;
    auto *as_type = reinterpret_cast<PyTypeObject *>(type);
    if (as_type->tp_base != &PyTuple_Type || !PyTuple_Check(as_type->tp_bases) ||
        PyTuple_GET_SIZE(as_type->tp_bases) != 1)
        return;
    Ref own = require(PyType_GetDict(as_type));
    PyObject *descriptor = PyDict_GetItemWithError(own.get(), core_names.__new__);
    if (descriptor == nullptr && PyErr_Occurred())
        throw_error();
    Ref function = new_function(descriptor, type);
    if (!function)
        return;
    PyObject *fields = PyDict_GetItemWithError(own.get(), core_names._fields);
    if (fields == nullptr && PyErr_Occurred())
        throw_error();
    if (!PyFunction_Check(function.get()) || fields == nullptr || !plain_fields(fields))
        return;
    Ref tuple_new_entry = type_lookup(&PyTuple_Type, core_names.__new__);
    PyObject *tuple_new = tuple_new_entry.get();
    Ref reference = reference_new(fields, tuple_new);
    if (!PyFunction_Check(reference.get()))
        return;
    PyObject *code = PyFunction_GET_CODE(function.get());
    if (!require_status(
            PyObject_RichCompareBool(code, PyFunction_GET_CODE(reference.get()), Py_EQ)))
        return;
    PyObject *globals = PyFunction_GET_GLOBALS(function.get());
    if (PyDict_GetItemWithError(globals, core_names._tuple_new) != tuple_new)
        return;
    MadeTuple &made = made_tuples.entries[made_tuples.count];
    made.type = Ref::borrow(type);
    made.new_function.take(function.get());
    made.init = type_lookup(as_type, core_names.__init__);
    add_made_tuple_watcher();
    ++made_tuples.count;
}

}  // namespace

void forget_named_tuples() {
    for (size_t i = 0; i < made_tuples.count; ++i)
        made_tuples.entries[i] = MadeTuple();
    made_tuples.count = 0;
}

Ref make_named_tuple(PyObject *type_name, PyObject *fields) {
    Ref type = call(global(core_names.namedtuple).get(), type_name, fields);
    require_status(
        PyObject_SetAttr(type.get(), core_names.__module__, global(core_names.__name__).get()));
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

}  // namespace zel
