// Reference ownership and error propagation for the module's C++ code.
//
// A `Ref` owns one strong reference and releases it when it goes out of
// scope, so every exit path of a function releases what it made. Python
// errors travel as the C++ exception `PyErrorSet`: the Python exception is
// already set when it is thrown, and wherever Python calls the module, the
// one boundary helper (core/boundary.hpp) turns it back into a NULL or -1
// return.
//
// One unwinding is not an error: at interpreter exit, a daemon thread that
// waits to take the interpreter lock back (after a platform call, in a sleep,
// anywhere Python code lets the lock go) is ended from inside that wait by a
// forced unwind of its stack (pthread_exit). The module's frames are unwound
// then without the lock, so every owner of Python memory first asks
// `holds_interpreter_lock()` and, when the thread no longer does, leaks what
// it owns on purpose: the process is exiting, and freeing without the lock
// would corrupt the interpreter's memory under the finalizing thread. No frame
// of the module catches that unwind for good: it always passes on.
#pragma once

#include <Python.h>

#include <utility>

#include "core/interpreter_exit.hpp"

namespace zel {

// Thrown when the Python error indicator is set and the current operation
// must unwind.
struct PyErrorSet {};

[[noreturn]] inline void throw_error() {
    throw PyErrorSet{};
}

// Whether this thread holds the interpreter lock, that is has a current
// thread state. The module's code always does, except while a thread is
// being torn down at interpreter exit (see above): its thread state was
// detached when it let the lock go, and stays so. (The thread's registered
// thread state, PyGILState_GetThisThreadState(), stays set then, and cannot
// tell; nor can PyGILState_Check(), which answers yes on every thread once a
// subinterpreter has existed.) Before the exit has begun, which the
// interpreter's atexit callbacks and Py_IsInitialized() report before any
// thread is torn down, the answer is yes without asking. After it, 3.13 reads
// the current thread state; 3.12 has no call that reads it without failing
// when there is none, but PyThreadState_GetDict() gives NULL, raising
// nothing, exactly when there is none (or when its dict cannot be made,
// and leaking is then the safe answer).
inline bool holds_interpreter_lock() {
#if PY_VERSION_HEX >= 0x030D0000
    return PyThreadState_GetUnchecked() != nullptr;
#else
    if (!interpreter_exit_begun.load(std::memory_order_relaxed) && Py_IsInitialized())
        return true;
    return PyThreadState_GetDict() != nullptr;
#endif
}

class Ref {
  public:
    Ref() = default;
    Ref(const Ref &other) : obj_(Py_XNewRef(other.obj_)) {}
    Ref(Ref &&other) noexcept : obj_(std::exchange(other.obj_, nullptr)) {}
    ~Ref() {
        if (obj_ != nullptr && holds_interpreter_lock())
            Py_DECREF(obj_);
    }

    Ref &operator=(Ref other) noexcept {
        std::swap(obj_, other.obj_);
        return *this;
    }

    // Takes over a new reference that the caller was given.
    static Ref steal(PyObject *obj) { return Ref(obj); }
    // Takes a new reference to an object that the caller only borrows.
    static Ref borrow(PyObject *obj) { return Ref(Py_XNewRef(obj)); }

    PyObject *get() const { return obj_; }
    PyObject *release() { return std::exchange(obj_, nullptr); }
    explicit operator bool() const { return obj_ != nullptr; }

  private:
    explicit Ref(PyObject *obj) : obj_(obj) {}
    PyObject *obj_ = nullptr;
};

// A new reference from the C API, or the error it set.
inline Ref require(PyObject *obj) {
    if (obj == nullptr)
        throw_error();
    return Ref::steal(obj);
}

// A C API status: negative means an error is set.
inline int require_status(int status) {
    if (status < 0)
        throw_error();
    return status;
}

}  // namespace zel
