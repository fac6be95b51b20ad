// A direct path in place of calling a named-tuple class the module made.
//
// Calling the class runs type.__call__: the class's __new__, found in its
// own dict, which collections.namedtuple made as
//
//     def __new__(_cls, a, b, c): return _tuple_new(_cls, (a, b, c))
//
// with _tuple_new = tuple.__new__ in its globals, and then, the instance
// being of the class, the __init__ found along its MRO, object.__init__,
// which does nothing. Made directly, the instance is what tuple.__new__
// makes of the class and the values. That holds for as many values as the
// class has fields (with any other number, its __new__ raises), while its
// MRO is still (class, tuple, object) as made (tuple and object cannot
// change), its own dict has no __init__, and its __new__ is still that
// function, unchanged (core/shortcuts/known_function.hpp). Each check reads
// those anew; anything else calls the class.
#include "core/shortcuts/direct_tuples.hpp"

#include "core/access.hpp"
#include "core/errors.hpp"
#include "core/shortcuts.hpp"
#include "core/shortcuts/known_function.hpp"
#include "core/shortcuts/strings.hpp"

namespace zel {

namespace {

struct MadeTuple {
    Ref type;
    Ref mro;                     // the class's MRO as made
    size_t fields = 0;           // the parameters of its __new__ after the class
    KnownFunction new_function;  // what its __new__ calls
};

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

// `name`'s entry in the dict, borrowed from it; NULL when there is none.
PyObject *own_entry(PyObject *dict, PyObject *name) {
    PyObject *entry = PyDict_GetItemWithError(dict, name);
    if (entry == nullptr && PyErr_Occurred())
        throw_error();
    return entry;
}

// The function that instance creation calls for the class's `__new__`
// entry, with the class as first argument: the function itself, or the one
// a staticmethod holds (which can be re-initialised in place, so it is
// asked each time). NULL for anything else.
Ref new_function(PyObject *entry, PyObject *type) {
    if (entry == nullptr)
        return Ref();
    if (PyFunction_Check(entry))
        return Ref::borrow(entry);
    if (!Py_IS_TYPE(entry, &PyStaticMethod_Type))
        return Ref();
    return require(PyStaticMethod_Type.tp_descr_get(entry, nullptr, type));
}

bool unchanged(const MadeTuple &made) {
    auto *type = reinterpret_cast<PyTypeObject *>(made.type.get());
    if (type->tp_mro != made.mro.get())
        return false;
    Ref own = require(PyType_GetDict(type));
    if (own_entry(own.get(), shortcut_names.__init__) != nullptr)
        return false;
    Ref entry = Ref::borrow(own_entry(own.get(), shortcut_names.__new__));
    Ref function = new_function(entry.get(), made.type.get());
    return made.new_function.holds(function.get());
}

// Whether `type` is a made tuple of `n` fields, unchanged; noted in `scope`.
bool builds_directly(ShortcutScope &scope, PyObject *type, size_t n) {
    const MadeTuple *made = made_tuple(type);
    if (made == nullptr || made->fields != n)
        return false;
    if (scope.tuple_type.get() == type && ShortcutScope::stands(scope.tuple_checked))
        return true;
    if (!unchanged(*made))
        return false;
    scope.tuple_type = Ref::borrow(type);
    scope.tuple_checked = ShortcutScope::now();
    return true;
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
    Ref names = require(PyUnicode_Join(shortcut_names.comma_space, fields));
    if (PyTuple_GET_SIZE(fields) == 1)
        names = require(PyUnicode_Concat(names.get(), shortcut_names.comma));
    Ref source = require(
        PyUnicode_FromFormat("lambda _cls, %U: _tuple_new(_cls, (%U))", names.get(), names.get()));
    Ref namespace_ = require(PyDict_New());
    setitem(namespace_.get(), shortcut_names._tuple_new, tuple_new);
    Ref no_builtins = require(PyDict_New());
    setitem(namespace_.get(), shortcut_names.__builtins__, no_builtins.get());
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

// Whether `type` is a direct subclass of tuple, made by `type` itself, with
// the MRO (type, tuple, object).
bool plain_tuple_class(PyObject *type) {
    if (!PyType_Check(type) || !Py_IS_TYPE(type, &PyType_Type))
        return false;
    auto *as_type = reinterpret_cast<PyTypeObject *>(type);
    PyObject *mro = as_type->tp_mro;
    return as_type->tp_base == &PyTuple_Type && mro != nullptr && PyTuple_Check(mro) &&
           PyTuple_GET_SIZE(mro) == 3 &&
           PyTuple_GET_ITEM(mro, 1) == reinterpret_cast<PyObject *>(&PyTuple_Type) &&
           PyTuple_GET_ITEM(mro, 2) == reinterpret_cast<PyObject *>(&PyBaseObject_Type);
}

// The class's own __new__ function when it is what collections.namedtuple
// makes for its fields: tuple.__new__ run on the fields in their order.
// `field_count` is set to their number.
Ref namedtuple_new(PyObject *type, size_t &field_count) {
    Ref own = require(PyType_GetDict(reinterpret_cast<PyTypeObject *>(type)));
    if (own_entry(own.get(), shortcut_names.__init__) != nullptr)
        return Ref();
    Ref function = new_function(own_entry(own.get(), shortcut_names.__new__), type);
    Ref fields = Ref::borrow(own_entry(own.get(), shortcut_names._fields));
    if (!function || !PyFunction_Check(function.get()) || !fields || !plain_fields(fields.get()))
        return Ref();
    Ref tuple_new = getattr(reinterpret_cast<PyObject *>(&PyTuple_Type), shortcut_names.__new__);
    Ref reference = reference_new(fields.get(), tuple_new.get());
    if (!PyFunction_Check(reference.get()))
        return Ref();
    PyObject *code = PyFunction_GET_CODE(function.get());
    if (!require_status(
            PyObject_RichCompareBool(code, PyFunction_GET_CODE(reference.get()), Py_EQ)))
        return Ref();
    field_count = static_cast<size_t>(PyTuple_GET_SIZE(fields.get()));
    return function;
}

}  // namespace

void forget_made_tuples() {
    for (size_t i = 0; i < made_tuples.count; ++i)
        made_tuples.entries[i] = MadeTuple();
    made_tuples.count = 0;
}

namespace shortcuts {

void remember_named_tuple(PyObject *type) {
    if (made_tuple(type) != nullptr || made_tuples.count == kMaxMadeTuples ||
        !plain_tuple_class(type))
        return;
    size_t fields = 0;
    Ref function = namedtuple_new(type, fields);
    if (!function)
        return;
    MadeTuple made;
    made.fields = fields;
    made.type = Ref::borrow(type);
    made.mro = Ref::borrow(reinterpret_cast<PyTypeObject *>(type)->tp_mro);
    made.new_function.take(function.get());
    Ref tuple_new = getattr(reinterpret_cast<PyObject *>(&PyTuple_Type), shortcut_names.__new__);
    if (made.new_function.resolved(shortcut_names._tuple_new) != tuple_new.get())
        return;
    made_tuples.entries[made_tuples.count++] = std::move(made);
}

Ref named_tuple(ShortcutScope &scope, PyObject *type, PyObject *const *items, size_t n) {
    if (!builds_directly(scope, type, n))
        return Ref();
    auto *as_type = reinterpret_cast<PyTypeObject *>(type);
    Ref instance = require(as_type->tp_alloc(as_type, static_cast<Py_ssize_t>(n)));
    for (size_t i = 0; i < n; ++i)
        PyTuple_SET_ITEM(instance.get(), static_cast<Py_ssize_t>(i), Py_NewRef(items[i]));
    return instance;
}

}  // namespace shortcuts

}  // namespace zel
