// The module-level statements run by the execution step, in their order.
#pragma once

#include <Python.h>

#include "frame/function.hpp"
#include "frame/ref.hpp"

namespace zel {

// Runs the imports, binds _logger, _KEY and _CHARSET, the operations and
// module-level objects in their order, and __test__. Throws PyErrorSet.
void run_module_statements();

// One module-level binding after _CHARSET: an operation, or an object made by
// `make` (which may read names bound before it).
struct ModuleLevelEntry {
    PyObject *const *name;
    const FunctionSpec *function;
    Ref (*make)();
};

// The operations and objects in the order they are bound (functions.cpp).
extern const ModuleLevelEntry kModuleLevel[];
extern const size_t kModuleLevelSize;

}  // namespace zel
