// The import statements the module runs at initialisation: absolute imports
// (level 0) with the module's globals, and `from` imports that fall back to
// the sys.modules entry "<module>.<name>" as the interpreter's do.
#pragma once

#include <Python.h>

#include <initializer_list>

namespace zel {

// from <module_name> import <names...>: each name bound in the module namespace.
void from_import(PyObject *module_name, std::initializer_list<PyObject *> names);

// import <module_name>: the module bound under its own name.
void plain_import(PyObject *module_name);

}  // namespace zel
