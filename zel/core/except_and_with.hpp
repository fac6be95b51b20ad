// Exception handling the way Python code does it: an error caught as an
// except clause catches it, and a context manager's with block.
#pragma once

#include <Python.h>

#include "core/ref.hpp"

namespace zel {

// The pending exception, taken off the error indicator and marked as the one
// being handled, as an except clause does: an error raised meanwhile gets it
// as its context. The previously handled exception is restored on scope exit.
class CaughtError {
  public:
    CaughtError();
    ~CaughtError();
    CaughtError(const CaughtError &) = delete;
    CaughtError &operator=(const CaughtError &) = delete;

    PyObject *get() const { return error_.get(); }
    bool matches(PyObject *types) const { return PyErr_GivenExceptionMatches(error_.get(), types); }
    [[noreturn]] void reraise();

  private:
    Ref error_;
    Ref previous_;
};

// The special methods of a context manager, looked up on its type as the
// with statement does.
class ContextManager {
  public:
    explicit ContextManager(PyObject *manager);
    Ref enter();
    void exit_normally();
    // With the body's exception pending: hands it to __exit__; throws it on
    // unless __exit__ answers true.
    void exit_with_error();

  private:
    Ref enter_;
    Ref exit_;
};

// with manager as value: body(value). True when the body completed; false
// when it raised and __exit__ suppressed the exception.
template <typename Body>
bool with_block(PyObject *manager, Body body) {
    ContextManager context(manager);
    Ref value = context.enter();
    try {
        body(value.get());
    } catch (const PyErrorSet &) {
        context.exit_with_error();
        return false;
    }
    context.exit_normally();
    return true;
}

}  // namespace zel
