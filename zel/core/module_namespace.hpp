// The module namespace: operations read the module-level names they use at
// each use, from the module's dict and then from the builtins, so that
// rebinding a name in the module changes what later calls use.
#pragma once

#include <Python.h>

#include <cstdint>

#include "core/ref.hpp"

namespace zel {

// The value bound to `name` in the module namespace, else in the builtins;
// NameError "name '%U' is not defined" when neither has it.
Ref global(PyObject *name);

// The builtin bound to `name` now: for the few builtins fixed at
// initialisation. NameError "name '%U' is not defined" when the builtins do
// not have it.
Ref builtin(PyObject *name);

// Binds `name` in the module namespace.
void set_global(PyObject *name, PyObject *value);

// Starts watching the module's dict and the builtins' dict, so that cached
// lookups are dropped on any change. Called once the module's dict is known.
void watch_namespaces();

// Watches `dict` as the namespaces are watched: any change of it moves the
// namespace stamp.
void watch_dict(PyObject *dict);

// A value that moves on any change of a watched dict; 0 when dicts cannot be
// watched, and nothing may then be taken as unchanged.
uint64_t namespace_stamp();

}  // namespace zel
