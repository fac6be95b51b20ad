// Entry point, module definition, and the creation and execution steps.
//
// The module is admitted into one interpreter per process and initialised
// once; its state is process-wide (frame/process.hpp). A failed execution
// clears that state again so that a later import starts afresh.
#include <Python.h>

#include <cstdio>
#include <cstring>

#include "frame/function.hpp"
#include "frame/names.hpp"
#include "frame/process.hpp"
#include "frame/siblings.hpp"
#include "zel_util/constants.hpp"
#include "zel_util/statements.hpp"

namespace zel {

Process P;

namespace {

// ---- creation step -----------------------------------------------------------

bool admit_interpreter() {
    const int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (P.interpreter_id == -1) {
        P.interpreter_id = id;
        return id != -1;
    }
    if (id != P.interpreter_id) {
        PyErr_SetString(PyExc_ImportError,
                        "Interpreter change detected - this module can only be loaded into one "
                        "interpreter per process.");
        return false;
    }
    return true;
}

// Copies spec.<from> to the module's <to>; a missing attribute is skipped.
void copy_spec_attr(PyObject *spec, PyObject *dict, const char *from, const char *to,
                    bool allow_none) {
    PyObject *value = PyObject_GetAttrString(spec, from);
    if (value == nullptr) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError))
            throw_error();
        PyErr_Clear();
        return;
    }
    Ref owned = Ref::steal(value);
    if (allow_none || value != Py_None)
        require_status(PyDict_SetItemString(dict, to, value));
}

PyObject *create_module(PyObject *spec, PyModuleDef *) {
    if (!admit_interpreter())
        return nullptr;
    if (P.module != nullptr)
        return Py_NewRef(P.module);
    try {
        Ref name = require(PyObject_GetAttrString(spec, "name"));
        Ref module = require(PyModule_NewObject(name.get()));
        PyObject *dict = PyModule_GetDict(module.get());
        copy_spec_attr(spec, dict, "loader", "__loader__", true);
        copy_spec_attr(spec, dict, "origin", "__file__", true);
        copy_spec_attr(spec, dict, "parent", "__package__", true);
        copy_spec_attr(spec, dict, "submodule_search_locations", "__path__", false);
        return module.release();
    } catch (const PyErrorSet &) {
        return nullptr;
    }
}

// ---- execution step ------------------------------------------------------------

void check_version() {
    const unsigned runtime = static_cast<unsigned>(Py_Version >> 16);
    const int major = static_cast<int>(runtime >> 8), minor = static_cast<int>(runtime & 0xff);
    if (major == 3 && minor == 12)
        return;
    char message[200];
    std::snprintf(message, sizeof message,
                  "compile time Python version %d.%d of module '%.100s' %s runtime version %d.%d",
                  3, 12, "zel.zel_util", "does not match", major, minor);
    require_status(PyErr_WarnEx(nullptr, message, 1));
}

// True when the module was entered into sys.modules here, rather than by
// the import machinery that is loading it.
bool register_in_sys_modules(PyObject *module) {
    PyObject *modules = PyImport_GetModuleDict();
    PyObject *present = PyDict_GetItemWithError(modules, K.zel_util_name);
    if (present == nullptr && PyErr_Occurred())
        throw_error();
    if (present != nullptr)
        return false;
    require_status(PyDict_SetItem(modules, K.zel_util_name, module));
    return true;
}

// After a failed execution, the entry made above goes again, so that a
// later import starts afresh instead of finding the unusable module; the
// import machinery removes the entries it made itself.
void unregister_failed(PyObject *module) {
    PyObject *failure = PyErr_GetRaisedException();
    PyObject *modules = PyImport_GetModuleDict();
    PyObject *present = PyDict_GetItemWithError(modules, K.zel_util_name);
    if (present == module && PyDict_DelItem(modules, K.zel_util_name) < 0)
        PyErr_WriteUnraisable(module);
    PyErr_Clear();
    PyErr_SetRaisedException(failure);
}

PyObject *cached_builtin(PyObject *name) {
    PyObject *value = PyDict_GetItemWithError(P.builtins, name);
    if (value == nullptr && !PyErr_Occurred()) {
        PyErr_Format(PyExc_NameError, "name '%U' is not defined", name);
    }
    if (value == nullptr)
        throw_error();
    return Py_NewRef(value);
}

// The builtins module's own format function, not a replacement of it.
bool is_builtin_format(PyObject *format) {
    if (!PyCFunction_Check(format))
        return false;
    PyObject *owner = PyCFunction_GET_SELF(format);
    const PyMethodDef *def = reinterpret_cast<PyCFunctionObject *>(format)->m_ml;
    if (owner == nullptr || !PyModule_Check(owner) || std::strcmp(def->ml_name, "format") != 0)
        return false;
    const char *module_name = PyModule_GetName(owner);
    if (module_name == nullptr)
        throw_error();
    return std::strcmp(module_name, "builtins") == 0;
}

void cache_builtins() {
    Py_XSETREF(P.range, cached_builtin(K.range));
    Py_XSETREF(P.open, cached_builtin(K.open));
    Py_XSETREF(P.format, cached_builtin(K.format));
    P.format_is_builtin = is_builtin_format(P.format);
    Py_XSETREF(P.value_error, cached_builtin(K.ValueError));
}

// `entered` tells whether the module was entered into sys.modules here.
void run_execution_steps(PyObject *module, bool &entered) {
    Ref builtins = require(PyImport_ImportModule("builtins"));
    require_status(PyObject_SetAttrString(module, "__builtins__", builtins.get()));
    Py_XSETREF(P.builtins, Py_NewRef(PyModule_GetDict(builtins.get())));
    watch_namespaces();
    check_version();
    require_status(ready_function_type());
    require_status(create_constants());
    entered = register_in_sys_modules(module);
    cache_builtins();
    require_status(import_siblings());
    run_module_statements();
}

int exec_module(PyObject *module) {
    if (P.module != nullptr) {
        if (P.module == module)
            return 0;
        PyErr_SetString(PyExc_RuntimeError,
                        "Module 'zel_util' has already been imported. Re-initialisation is not "
                        "supported.");
        return -1;
    }
    ++P.generation;
    P.module = Py_NewRef(module);
    P.globals = PyModule_GetDict(module);
    bool entered = false;
    try {
        run_execution_steps(module, entered);
        return 0;
    } catch (const PyErrorSet &) {
        add_traceback("init zel.zel_util");
        if (entered)
            unregister_failed(module);
        ++P.generation;
        P.globals = nullptr;
        Py_CLEAR(P.module);
        return -1;
    }
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_create, reinterpret_cast<void *>(create_module)},
    {Py_mod_exec, reinterpret_cast<void *>(exec_module)},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "zel_util",    // m_name
    nullptr,       // m_doc
    0,             // m_size: all state is process-wide
    nullptr,       // m_methods: the operations are bound by the execution step
    module_slots,  // m_slots
    nullptr,       // m_traverse
    nullptr,       // m_clear
    nullptr,       // m_free
};

}  // namespace

}  // namespace zel

extern "C" PyMODINIT_FUNC PyInit_zel_util(void) {
    return PyModuleDef_Init(&zel::module_def);
}
