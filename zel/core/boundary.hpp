// The one place where an exception becomes an error return.
//
// Inside the module everything raises by throwing: `PyErrorSet` with the
// Python error set, `std::bad_alloc` from the C++ library. Where Python calls
// in (an operation's call, the creation and execution steps, the function
// type's slots and methods), `at_boundary` runs the code and turns whatever
// it throws into the C API's error return with an exception set.
//
// The forced unwind that ends a daemon thread at interpreter exit is no
// error and is never caught for good (core/ref.hpp): it is no C++ exception,
// so std::current_exception() holds nothing for it, and it passes on.
#pragma once

#include <Python.h>

#include <exception>

namespace zel {

// Inside a catch handler: sets the Python error for the exception being
// handled (MemoryError for bad_alloc, SystemError for anything else that left
// none set), then adds a traceback entry named `traceback` when given.
void set_error_for_caught(const char *traceback);

// Adds a traceback entry named `name` to the pending exception.
void add_traceback(const char *name);

// body() or, when it throws, `failed` with the error set.
template <typename Result, typename Body>
Result at_boundary(Result failed, const char *traceback, Body body) {
    try {
        return body();
    } catch (...) {
        if (!std::current_exception())
            throw;  // the forced unwind
        set_error_for_caught(traceback);
        return failed;
    }
}

template <typename Body>
PyObject *at_boundary(Body body) {
    return at_boundary<PyObject *>(nullptr, nullptr, body);
}

}  // namespace zel
