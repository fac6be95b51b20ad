// The module namespace: operations read the module-level names they use at
// each use, from the module's dict and then from the builtins, so that
// rebinding a name in the module changes what later calls use.
#pragma once

#include <Python.h>

#include "core/ref.hpp"
#include "core/shortcuts.hpp"

namespace zel {

// The value bound to `name` in the module namespace, else in the builtins;
// NameError "name '%U' is not defined" when neither has it.
Ref global(PyObject *name);
// The same in a ShortcutScope: while the module has called no Python code
// since, the value last looked up there stands (core/shortcuts.hpp).
Ref global(ShortcutScope &scope, PyObject *name);

// The builtin bound to `name` now: for the few builtins fixed at
// initialisation. NameError "name '%U' is not defined" when the builtins do
// not have it.
Ref builtin(PyObject *name);

// Binds `name` in the module namespace.
void set_global(PyObject *name, PyObject *value);

}  // namespace zel
