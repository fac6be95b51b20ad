// Named-tuple classes made at initialisation, and their instances.
//
// Shortcut: an instance of a class this module made with the module-level
// namedtuple is built directly, as its own __new__ builds it
// (tuple.__new__(cls, values)), without running that Python-level __new__.
// It must stay equal to calling the class: it is taken only while the class
// is a direct tuple subclass whose __new__ is namedtuple's own code, reading
// the real tuple.__new__, and whose __new__ and __init__ are still the ones
// it was made with (core/snapshot.hpp); otherwise the class is called.
#pragma once

#include <Python.h>

#include <cstddef>

#include "core/ref.hpp"

namespace zel {

// The class that the module-level namedtuple makes from `type_name` and
// `fields`, attributed to this module (namedtuple called from C would take
// the import machinery's frame for its module, and its instances could not
// be pickled).
Ref make_named_tuple(PyObject *type_name, PyObject *fields);

// Forgets the named tuples made by an earlier execution step.
void forget_named_tuples();

// type(*items) for a class bound to a module-level name.
Ref new_named_tuple_of(PyObject *type, PyObject *const *items, size_t n);
template <typename... Items>
Ref new_named_tuple(PyObject *type, Items... items) {
    PyObject *values[] = {items...};
    return new_named_tuple_of(type, values, sizeof...(Items));
}

}  // namespace zel
