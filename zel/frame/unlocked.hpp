// Platform calls made without the interpreter lock.
#pragma once

#include <Python.h>

namespace zel {

// Runs a blocking platform call with the interpreter lock released, so that
// other Python threads run meanwhile. `call` must not touch Python objects.
template <typename Call>
auto without_interpreter_lock(Call call) {
    PyThreadState *saved = PyEval_SaveThread();
    auto result = call();
    PyEval_RestoreThread(saved);
    return result;
}

}  // namespace zel
