// The function objects that carry the operations: callable with vectorcall,
// introspectable (__name__, __defaults__, __annotations__, __signature__)
// and pickled by name, as the interpreter's builtin functions are.
#pragma once

#include "core/operation.hpp"
#include "core/ref.hpp"

namespace zel {

// Readies the function type, once per process. Throws PyErrorSet.
void ready_function_type();

// A new function object for `op`, its __module__ taken from the module's
// __name__.
Ref make_function(const Operation &op);

}  // namespace zel
