// A Python function as it stood when the module took a direct path in its
// place. The direct path gives exactly the function's results only while
// the function is unchanged: the same code, defaults and keyword defaults,
// and the same objects under the global names its code reads. The first
// three are identity checks on every use; the names are looked up again
// only after a dict they come from has changed (core/module_namespace.hpp).
#pragma once

#include <Python.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "core/ref.hpp"

namespace zel {

class FunctionSnapshot {
  public:
    // Takes the snapshot of `function`, which must be a Python function.
    void take(PyObject *function);
    void clear() { *this = FunctionSnapshot(); }

    // True when `function` is the function taken and is unchanged. Throws
    // when looking a name up again fails.
    bool holds(PyObject *function) const {
        return function != nullptr && function == function_.get() &&
               PyFunction_GET_CODE(function) == code_.get() &&
               PyFunction_GET_DEFAULTS(function) == defaults_.get() &&
               PyFunction_GET_KW_DEFAULTS(function) == kwdefaults_.get() && names_unchanged();
    }

  private:
    bool names_unchanged() const;

    Ref function_, code_, defaults_, kwdefaults_;
    Ref globals_, builtins_;
    // Each global name of the code with what it resolved to (none: unbound).
    std::vector<std::pair<Ref, Ref>> names_;
    mutable uint64_t checked_ = 0;  // namespace stamp of the last check
};

}  // namespace zel
