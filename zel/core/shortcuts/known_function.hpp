// A Python function whose results a direct path gives in its place. They are
// its results only while it is as it was taken: the same code, defaults and
// keyword defaults, and the same objects under the names its code reads.
// Every check reads all of them anew.
#pragma once

#include <Python.h>

#include <utility>
#include <vector>

#include "core/ref.hpp"

namespace zel {

class KnownFunction {
  public:
    // Takes `function`, which must be a Python function.
    void take(PyObject *function);
    void clear() { *this = KnownFunction(); }
    bool taken() const { return static_cast<bool>(function_); }

    // True when `function` is the function taken, unchanged. Throws when a
    // lookup fails.
    bool holds(PyObject *function) const {
        return function != nullptr && function == function_.get() &&
               PyFunction_GET_CODE(function) == code_.get() &&
               PyFunction_GET_DEFAULTS(function) == defaults_.get() &&
               PyFunction_GET_KW_DEFAULTS(function) == kwdefaults_.get() && names_unchanged();
    }

    // What `name`, one of the names its code reads, resolved to when it was
    // taken; NULL when unbound or not among them.
    PyObject *resolved(PyObject *name) const;

  private:
    bool names_unchanged() const;

    Ref function_, code_, defaults_, kwdefaults_;
    Ref globals_, builtins_;
    // Each name of the code with what it resolved to (none: unbound).
    std::vector<std::pair<Ref, Ref>> names_;
};

}  // namespace zel
