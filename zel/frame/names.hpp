// Module-level names and calls.
//
// Operations read the module-level names they use at each use, from the
// module namespace and then from the builtins, so that rebinding a name in
// the module changes what later calls use.
#pragma once

#include <Python.h>

#include <cstdint>

#include "frame/ref.hpp"

namespace zel {

// The value bound to `name` in the module namespace, else in the builtins;
// NameError "name '%U' is not defined" when neither has it.
Ref global(PyObject *name);

// Starts watching the module's dict and the builtins' dict, so that cached
// lookups are dropped on any change. Called once the module's dict is known.
void watch_namespaces();

// Watches `dict` as the namespaces are watched: any change of it moves the
// namespace stamp.
void watch_dict(PyObject *dict);

// A value that moves on any change of a watched dict; 0 when dicts cannot be
// watched, and nothing may then be taken as unchanged.
uint64_t namespace_stamp();

// Binds `name` in the module namespace.
void set_global(PyObject *name, PyObject *value);

// callable(*args), positional arguments only.
template <typename... Args>
Ref call(PyObject *callable, Args... args) {
    PyObject *argv[] = {nullptr, args...};
    size_t nargs = sizeof...(Args) | PY_VECTORCALL_ARGUMENTS_OFFSET;
    return require(PyObject_Vectorcall(callable, argv + 1, nargs, nullptr));
}

// obj.name(*args).
template <typename... Args>
Ref call_method(PyObject *obj, PyObject *name, Args... args) {
    PyObject *argv[] = {obj, args...};
    size_t nargs = (1 + sizeof...(Args)) | PY_VECTORCALL_ARGUMENTS_OFFSET;
    return require(PyObject_VectorcallMethod(name, argv, nargs, nullptr));
}

// The class that the module-level namedtuple makes from `type_name` and
// `fields`, attributed to this module (namedtuple called from C would take
// the import machinery's frame for its module, and its instances could not
// be pickled).
Ref make_named_tuple(PyObject *type_name, PyObject *fields);

// Forgets the named tuples made by an earlier execution step.
void forget_named_tuples();

// type(*items) for a class bound to a module-level name; the same instance
// as calling it, made directly while `type` is a named tuple this module
// made and its __new__ and __init__ are still the ones it was made with.
Ref new_named_tuple_of(PyObject *type, PyObject *const *items, size_t n);
template <typename... Items>
Ref new_named_tuple(PyObject *type, Items... items) {
    PyObject *values[] = {items...};
    return new_named_tuple_of(type, values, sizeof...(Items));
}

inline Ref getattr(PyObject *obj, PyObject *name) {
    return require(PyObject_GetAttr(obj, name));
}

inline void setitem(PyObject *mapping, PyObject *key, PyObject *value) {
    require_status(PyObject_SetItem(mapping, key, value));
}

}  // namespace zel
