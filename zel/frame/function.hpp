// The operations' function objects and their one argument binder.
//
// Each operation is described by a `FunctionSpec`: its name, its parameters
// (name, default, whether the argument must be exactly an `int`) and its
// body. The binder maps positional and keyword arguments onto the parameters
// with the interpreter's usual messages, checks the exact-`int` parameters
// in order, and hands the body the bound values. A body reads like its
// description; it raises by throwing `PyErrorSet` with the error set.
#pragma once

#include <Python.h>

#include <cstddef>

#include "frame/ref.hpp"

namespace zel {

inline constexpr size_t kMaxParams = 5;

struct Param {
    PyObject *const *name;                     // interned name in the constant table
    PyObject *const *default_value = nullptr;  // none: the parameter is required
    bool exact_int = false;                    // must be an object of type exactly int
};

// The bound arguments, borrowed for the duration of the call.
class Args {
  public:
    explicit Args(PyObject *const *values) : values_(values) {}
    PyObject *operator[](size_t i) const { return values_[i]; }

  private:
    PyObject *const *values_;
};

using Body = Ref (*)(const Args &);

struct FunctionSpec {
    const char *name;       // the operation's name
    const char *traceback;  // traceback entry of errors leaving it: "zel.zel_util.<name>"
    const Param *params;
    size_t nparams;
    Body body;
};

// Readies the function type; -1 with an error set on failure.
int ready_function_type();

// A new function object for `spec`, its __module__ taken from the module's
// __name__.
Ref make_function(const FunctionSpec &spec);

// Adds a traceback entry named `name` to the pending exception.
void add_traceback(const char *name);

}  // namespace zel
