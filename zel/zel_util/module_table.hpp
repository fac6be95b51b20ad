// The module's operations and module-level objects, in the order the
// execution step binds them (module_table.cpp).
#pragma once

#include <cstddef>

#include "core/operation.hpp"

namespace zel {

// One binding: an operation, or another module-level object.
struct ModuleLevelEntry {
    const Operation *operation;
    const ModuleObject *object;
};

extern const ModuleLevelEntry kModuleLevel[];
extern const size_t kModuleLevelSize;

}  // namespace zel
