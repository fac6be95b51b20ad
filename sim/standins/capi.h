// Export tables of the sibling stand-ins. Consumers find each C-level export
// in the module's __pyx_capi__ dict, as a capsule named by the export's
// signature string and holding the function's address, or for a variable
// the address of the variable itself so that later changes are seen.
#ifndef ZEL_SIM_STANDINS_CAPI_H
#define ZEL_SIM_STANDINS_CAPI_H

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <exception>
#include <memory>
#include <new>

namespace standins {

// A new reference, released when it goes out of scope, by an exception too.
using Owned = std::unique_ptr<PyObject, decltype(&Py_DecRef)>;

inline Owned owned(PyObject *object) {
    return Owned(object, Py_DecRef);
}

// Runs a method's body: what it throws becomes the Python exception it
// stands for, since a C++ exception must not cross into the interpreter.
template <typename Body>
PyObject *guarded(Body &&body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc &) {
        return PyErr_NoMemory();
    } catch (const std::exception &error) {
        PyErr_SetString(PyExc_ValueError, error.what());
    } catch (...) {
        PyErr_SetString(PyExc_SystemError, "an exception of unknown type");
    }
    return nullptr;
}

// signature must be a string literal: the capsule keeps the pointer.
inline int add_export(PyObject *table, const char *name, void *pointer, const char *signature) {
    PyObject *capsule = PyCapsule_New(pointer, signature, nullptr);
    if (capsule == nullptr) {
        return -1;
    }
    int rc = PyDict_SetItemString(table, name, capsule);
    Py_DECREF(capsule);
    return rc;
}

template <typename F>
void *function_address(F *fn) {
    return reinterpret_cast<void *>(fn);
}

// Attaches a fresh export table to module and returns it (borrowed), or
// NULL with an exception set.
inline PyObject *new_export_table(PyObject *module) {
    PyObject *table = PyDict_New();
    if (table == nullptr || PyModule_AddObjectRef(module, "__pyx_capi__", table) < 0) {
        Py_XDECREF(table);
        return nullptr;
    }
    Py_DECREF(table);
    return table;
}

// A new module of `def` carrying an export table filled by `add_exports`, or
// NULL with an exception set.
inline PyObject *create_module(PyModuleDef *def, int (*add_exports)(PyObject *table)) {
    PyObject *module = PyModule_Create(def);
    if (module == nullptr) {
        return nullptr;
    }
    PyObject *table = new_export_table(module);
    if (table == nullptr || add_exports(table) < 0) {
        Py_DECREF(module);
        return nullptr;
    }
    return module;
}

}  // namespace standins

#endif  // ZEL_SIM_STANDINS_CAPI_H
