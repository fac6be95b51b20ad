// Named-tuple classes made at initialisation, and their instances.
#pragma once

#include <Python.h>

#include <cstddef>

#include "core/ref.hpp"
#include "core/shortcuts.hpp"

namespace zel {

// The class that the module-level namedtuple makes from `type_name` and
// `fields`, attributed to this module (namedtuple called from C would take
// the import machinery's frame for its module, and its instances could not
// be pickled).
Ref make_named_tuple(PyObject *type_name, PyObject *fields);

// type(*items) for a class bound to a module-level name; made directly, in
// the speed layer, while that gives the same instance (core/shortcuts.hpp).
Ref new_named_tuple_of(ShortcutScope &scope, PyObject *type, PyObject *const *items, size_t n);
template <typename... Items>
Ref new_named_tuple(ShortcutScope &scope, PyObject *type, Items... items) {
    PyObject *values[] = {items...};
    return new_named_tuple_of(scope, type, values, sizeof...(Items));
}

}  // namespace zel
