// Platform calls made without the interpreter lock.
//
// The lock is taken back in the body of these functions, never in a
// destructor: at interpreter exit, a daemon thread is ended from inside
// PyEval_RestoreThread by a forced unwind (pthread_exit), which must pass on
// through the module's frames, and would terminate the process if it left a
// destructor. The owners unwound then leak what they hold (core/ref.hpp).
#pragma once

#include <Python.h>

#include "core/ref.hpp"

namespace zel {

// Runs the handlers of signals that arrived meanwhile (the main thread only);
// an exception from a handler, KeyboardInterrupt for Ctrl-C, is thrown on.
inline void handle_pending_signals() {
    require_status(PyErr_CheckSignals());
}

// Runs a blocking platform call with the interpreter lock released, so that
// other Python threads run meanwhile, and takes the lock back. `call` must not
// touch Python objects, nor memory of the interpreter's object allocator.
// Pending signals are left to the caller: for a call that hands back
// something to release, they are handled once it has an owner.
template <typename Call>
auto call_unlocked(Call call) {
    PyThreadState *saved = PyEval_SaveThread();
    auto result = call();
    PyEval_RestoreThread(saved);
    return result;
}

// The same, then handles the signals that arrived during the call, so that
// Ctrl-C or SIGTERM takes effect as soon as the platform returns rather than
// when the operation ends.
template <typename Call>
auto without_interpreter_lock(Call call) {
    auto result = call_unlocked(call);
    handle_pending_signals();
    return result;
}

}  // namespace zel
