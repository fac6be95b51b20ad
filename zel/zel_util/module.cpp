// The module's start: entry point, module definition, and the creation and
// execution steps, in the order the interpreter runs them.
//
// The module is admitted into one interpreter per process and initialised
// once; its state is process-wide (core/process.hpp). A failed execution
// clears that state again so that a later import starts afresh.
#include <Python.h>

#include <cstdio>

#include "core/boundary.hpp"
#include "core/calls.hpp"
#include "core/function_object.hpp"
#include "core/interpreter_exit.hpp"
#include "core/module_namespace.hpp"
#include "core/named_tuples.hpp"
#include "core/process.hpp"
#include "core/siblings.hpp"
#include "core/strings.hpp"
#include "core/text_conversion.hpp"
#include "dot1x/strings.hpp"
#include "hardware/strings.hpp"
#include "mtraceroute/strings.hpp"
#include "ports/strings.hpp"
#include "system/strings.hpp"
#include "zel_util/imports.hpp"
#include "zel_util/module_table.hpp"
#include "zel_util/strings.hpp"

namespace zel {

Process P;

namespace {

// ---- creation step -------------------------------------------------------------

void admit_interpreter() {
    const int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (P.interpreter_id == -1) {
        P.interpreter_id = id;
        if (id == -1)
            throw_error();  // the query failed, with its error set
        return;
    }
    if (id != P.interpreter_id) {
        PyErr_SetString(PyExc_ImportError,
                        "Interpreter change detected - this module can only be loaded into one "
                        "interpreter per process.");
        throw_error();
    }
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

Ref create(PyObject *spec) {
    admit_interpreter();
    if (P.module != nullptr)
        return Ref::borrow(P.module);
    Ref name = require(PyObject_GetAttrString(spec, "name"));
    Ref module = require(PyModule_NewObject(name.get()));
    PyObject *dict = PyModule_GetDict(module.get());
    copy_spec_attr(spec, dict, "loader", "__loader__", true);
    copy_spec_attr(spec, dict, "origin", "__file__", true);
    copy_spec_attr(spec, dict, "parent", "__package__", true);
    copy_spec_attr(spec, dict, "submodule_search_locations", "__path__", false);
    return module;
}

PyObject *create_module(PyObject *spec, PyModuleDef *) {
    return at_boundary([&] { return create(spec).release(); });
}

// ---- execution step --------------------------------------------------------------

// Step 1: true when this very module was executed already (a repeated
// execution is a no-op); another module refused.
bool executed_already(PyObject *module) {
    if (P.module == nullptr)
        return false;
    if (P.module == module)
        return true;
    PyErr_SetString(PyExc_RuntimeError,
                    "Module 'zel_util' has already been imported. Re-initialisation is not "
                    "supported.");
    throw_error();
}

// Step 2, and its undoing when a later step fails: function objects of the
// failed attempt refuse to run, the module is released, and the sys.modules
// entry made here (step 6) goes again, so that a later import starts afresh
// instead of finding the unusable module; the import machinery removes the
// entries it made itself.
class Execution {
  public:
    explicit Execution(PyObject *module) : module_(module) {
        ++P.generation;
        P.module = Py_NewRef(module);
        P.globals = PyModule_GetDict(module);
    }
    ~Execution() {
        if (succeeded_)
            return;
        if (entered_sys_modules_)
            unregister();
        ++P.generation;
        P.globals = nullptr;
        Py_CLEAR(P.module);
    }
    Execution(const Execution &) = delete;
    Execution &operator=(const Execution &) = delete;

    void entered_sys_modules() { entered_sys_modules_ = true; }
    void succeeded() { succeeded_ = true; }

  private:
    void unregister() {
        PyObject *failure = PyErr_GetRaisedException();
        PyObject *modules = PyImport_GetModuleDict();
        PyObject *present = PyDict_GetItemWithError(modules, M.zel_util_name);
        if (present == module_ && PyDict_DelItem(modules, M.zel_util_name) < 0)
            PyErr_WriteUnraisable(module_);
        PyErr_Clear();
        PyErr_SetRaisedException(failure);
    }

    PyObject *module_;
    bool entered_sys_modules_ = false;
    bool succeeded_ = false;
};

// Step 3.
void set_builtins(PyObject *module) {
    Ref builtins = require(PyImport_ImportModule("builtins"));
    require_status(PyObject_SetAttrString(module, "__builtins__", builtins.get()));
    Py_XSETREF(P.builtins, Py_NewRef(PyModule_GetDict(builtins.get())));
}

// Step 4.
void check_version() {
    const unsigned runtime = static_cast<unsigned>(Py_Version >> 16);
    const int major = static_cast<int>(runtime >> 8), minor = static_cast<int>(runtime & 0xff);
    if (major == PY_MAJOR_VERSION && minor == PY_MINOR_VERSION)
        return;
    char message[200];
    std::snprintf(message, sizeof message,
                  "compile time Python version %d.%d of module '%.100s' %s runtime version %d.%d",
                  PY_MAJOR_VERSION, PY_MINOR_VERSION, "zel.zel_util", "does not match", major,
                  minor);
    require_status(PyErr_WarnEx(nullptr, message, 1));
}

// Step 5: the constants, each part of the module making its own.
void create_constants() {
    intern_core_strings();
    intern_module_strings();
    intern_dot1x_strings();
    intern_hardware_strings();
    intern_port_strings();
    intern_system_strings();
    intern_mtraceroute_strings();
}

// Step 6: true when the module was entered into sys.modules here, rather
// than by the import machinery that is loading it.
bool register_in_sys_modules(PyObject *module) {
    PyObject *modules = PyImport_GetModuleDict();
    PyObject *present = PyDict_GetItemWithError(modules, M.zel_util_name);
    if (present == nullptr && PyErr_Occurred())
        throw_error();
    if (present != nullptr)
        return false;
    require_status(PyDict_SetItem(modules, M.zel_util_name, module));
    return true;
}

// Step 7.
PyObject *cached_builtin(PyObject *name) {
    PyObject *value = PyDict_GetItemWithError(P.builtins, name);
    if (value == nullptr && !PyErr_Occurred())
        PyErr_Format(PyExc_NameError, "name '%U' is not defined", name);
    if (value == nullptr)
        throw_error();
    return Py_NewRef(value);
}

void cache_builtins() {
    Py_XSETREF(P.range, cached_builtin(M.range));
    Py_XSETREF(P.open, cached_builtin(M.open));
    Py_XSETREF(P.format, cached_builtin(M.format));
    Py_XSETREF(P.value_error, cached_builtin(M.ValueError));
}

// Step 10, statements 1 to 9.
void run_imports() {
    from_import(M.mod_modules_util, {M.get_routing_table_result});
    from_import(M.mod_collections, {M.namedtuple});
    from_import(M.mod_util_errors, {M.CFunctionError});
    from_import(M.mod_datetime, {M.datetime});
    from_import(M.mod_logging, {M.getLogger});
    from_import(M.mod_pyramid_compat, {M.bytes_, M.text_});
    from_import(M.mod_enum, {M.IntEnum});
    from_import(M.mod_time, {M.sleep});
    plain_import(M.mod_os);
    plain_import(M.mod_fcntl);
}

// Statement 12: the module table, in order.
void bind_module_level() {
    for (size_t i = 0; i < kModuleLevelSize; ++i) {
        const ModuleLevelEntry &entry = kModuleLevel[i];
        const char *name = entry.operation ? entry.operation->name : entry.object->name;
        Ref key = require(PyUnicode_InternFromString(name));
        Ref value = entry.operation ? make_function(*entry.operation) : entry.object->make();
        set_global(key.get(), value.get());
    }
}

// Step 10: the module-level statements, in order.
void run_module_statements() {
    forget_named_tuples();
    run_imports();
    remember_text_conversions();
    Ref logger = call(global(M.getLogger).get(), global(M.__name__).get());  // statement 10
    set_global(M._logger, logger.get());
    set_global(M._KEY, M.key);  // statement 11
    set_global(M._CHARSET, M.charset);
    bind_module_level();               // statement 12
    Ref test = require(PyDict_New());  // statement 13
    set_global(M.__test__, test.get());
}

void execute(PyObject *module) {
    Execution execution(module);  // step 2
    set_builtins(module);         // step 3
    watch_namespaces();
    watch_for_interpreter_exit();
    check_version();        // step 4
    ready_function_type();  // step 5
    create_constants();
    if (register_in_sys_modules(module))  // step 6
        execution.entered_sys_modules();
    cache_builtins();         // step 7
    import_siblings();        // step 9
    run_module_statements();  // step 10
    execution.succeeded();
}

int exec_module(PyObject *module) {
    const int repeated =
        at_boundary<int>(-1, nullptr, [&] { return executed_already(module) ? 1 : 0; });
    if (repeated != 0)
        return repeated < 0 ? -1 : 0;
    return at_boundary<int>(-1, "init zel.zel_util", [&] {
        execute(module);
        return 0;
    });
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
