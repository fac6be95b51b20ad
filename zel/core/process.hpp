// Process-wide state of the module. The module is loaded into one
// interpreter per process only, so this state lives in statics rather than
// in per-module state; it is written only by the creation and execution
// steps, with the interpreter lock held.
#pragma once

#include <Python.h>

#include <cstdint>

namespace zel {

struct Process {
    int64_t interpreter_id = -1;   // the one interpreter admitted
    PyObject *module = nullptr;    // strong; set as execution starts, cleared if it fails
    PyObject *globals = nullptr;   // the module's dict, borrowed from `module`
    PyObject *builtins = nullptr;  // strong: the builtins module's dict
    // Moves at the start of each execution step and again when it fails:
    // function objects run only while it has the value they were made with.
    uint64_t generation = 0;
};

extern Process process;

}  // namespace zel
