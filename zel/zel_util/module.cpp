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
#include "core/errors.hpp"
#include "core/function_object.hpp"
#include "core/interpreter_exit.hpp"
#include "core/module_namespace.hpp"
#include "core/process.hpp"
#include "core/shortcuts.hpp"
#include "core/siblings.hpp"
#include "core/strings.hpp"
#include "dot1x/strings.hpp"
#include "hardware/strings.hpp"
#include "mtraceroute/builtins.hpp"
#include "mtraceroute/strings.hpp"
#include "ports/imports.hpp"
#include "ports/strings.hpp"
#include "system/strings.hpp"
#include "zel_util/imports.hpp"
#include "zel_util/module_table.hpp"
#include "zel_util/strings.hpp"

namespace zel {

Process process;

namespace {

// ---- creation step -------------------------------------------------------------

void admit_interpreter() {
    const int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (process.interpreter_id == -1) {
        process.interpreter_id = id;
        if (id == -1)
            throw_error();  // the query failed, with its error set
        return;
    }
    if (id != process.interpreter_id) {
        raise_error(PyExc_ImportError,
                    "Interpreter change detected - this module can only be loaded into one "
                    "interpreter per process.");
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
    if (process.module != nullptr)
        return Ref::borrow(process.module);
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

// True when this very module was executed already (a repeated execution is a
// no-op); another module is refused: the state is process-wide and made once.
bool executed_already(PyObject *module) {
    if (process.module == nullptr)
        return false;
    if (process.module == module)
        return true;
    raise_error(PyExc_RuntimeError,
                "Module 'zel_util' has already been imported. Re-initialisation is not "
                "supported.");
}

// The process-wide state of one execution, and its undoing when the
// execution fails: function objects of the failed attempt refuse to run, the
// module is released, and the sys.modules entry made by
// register_in_sys_modules() goes again, so that a later import starts afresh
// instead of finding the unusable module; the import machinery removes the
// entries it made itself.
class Execution {
  public:
    explicit Execution(PyObject *module) : module_(module) {
        ++process.generation;
        process.module = Py_NewRef(module);
        process.globals = PyModule_GetDict(module);
    }
    ~Execution() {
        if (succeeded_)
            return;
        if (entered_sys_modules_)
            unregister();
        ++process.generation;
        process.globals = nullptr;
        Py_CLEAR(process.module);
    }
    Execution(const Execution &) = delete;
    Execution &operator=(const Execution &) = delete;

    void entered_sys_modules() { entered_sys_modules_ = true; }
    void succeeded() { succeeded_ = true; }

  private:
    void unregister() {
        PyObject *failure = PyErr_GetRaisedException();
        PyObject *modules = PyImport_GetModuleDict();
        PyObject *present = PyDict_GetItemWithError(modules, module_names.zel_util_name);
        if (present == module_ && PyDict_DelItem(modules, module_names.zel_util_name) < 0)
            PyErr_WriteUnraisable(module_);
        PyErr_Clear();
        PyErr_SetRaisedException(failure);
    }

    PyObject *module_;
    bool entered_sys_modules_ = false;
    bool succeeded_ = false;
};

// The module's __builtins__, and the builtins' dict that name lookups fall
// back to.
void set_builtins(PyObject *module) {
    Ref builtins = require(PyImport_ImportModule("builtins"));
    require_status(PyObject_SetAttrString(module, "__builtins__", builtins.get()));
    Py_XSETREF(process.builtins, Py_NewRef(PyModule_GetDict(builtins.get())));
}

// A warning, not a failure, when the interpreter running the module is not
// the version it was compiled for.
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

// The constants, each part of the module making its own.
void create_constants() {
    intern_core_strings();
    shortcuts::start_execution();
    intern_module_strings();
    intern_dot1x_strings();
    intern_hardware_strings();
    intern_port_strings();
    intern_system_strings();
    intern_mtraceroute_strings();
}

// Enters the module into sys.modules under "zel.zel_util" unless an entry
// is there (the import system's, as a rule), so that while the statements
// run an import of zel.zel_util finds this module, also when the module is
// executed outside the import system. True when the entry was made here.
bool register_in_sys_modules(PyObject *module) {
    PyObject *modules = PyImport_GetModuleDict();
    PyObject *present = PyDict_GetItemWithError(modules, module_names.zel_util_name);
    if (present == nullptr && PyErr_Occurred())
        throw_error();
    if (present != nullptr)
        return false;
    require_status(PyDict_SetItem(modules, module_names.zel_util_name, module));
    return true;
}

// The builtins the operations call, fixed now as the builtins have them,
// each kept by the part that calls it. `range` is looked up only so that the
// import fails when the builtins lack it: nothing keeps it.
void cache_builtins() {
    builtin(module_names.range);
    cache_port_builtins();
    cache_traceroute_builtins();
}

// The sibling modules' C exports. migbase.migbase's WARM_START_PATH is
// imported only so that the import fails when the sibling does not export
// it: no operation reads it, and nothing keeps it.
void import_siblings() {
    import_variable("migbase.migbase", "WARM_START_PATH");
    import_port_siblings();
    import_util_string();
}

// The import statements at the head of the module, in order. Each name is
// the one its reader interns; where a module has the name it binds
// (`from datetime import datetime`, `import os`), that one str serves both.
void run_imports() {
    from_import(module_names.mod_modules_util, {traceroute_names.get_routing_table_result});
    from_import(module_names.mod_collections, {core_names.namedtuple});
    from_import(module_names.mod_util_errors, {core_names.CFunctionError});
    from_import(system_names.datetime, {system_names.datetime});
    from_import(module_names.mod_logging, {module_names.getLogger});
    from_import(module_names.mod_pyramid_compat, {core_names.bytes_, core_names.text_});
    from_import(module_names.mod_enum, {traceroute_names.IntEnum});
    from_import(module_names.mod_time, {traceroute_names.sleep});
    plain_import(traceroute_names.os);
    plain_import(traceroute_names.fcntl);
}

// The operations and module-level objects of the module table, in order.
void bind_module_level() {
    for (size_t i = 0; i < kModuleLevelSize; ++i) {
        const ModuleLevelEntry &entry = kModuleLevel[i];
        const char *name = entry.operation ? entry.operation->name : entry.object->name;
        Ref key = require(PyUnicode_InternFromString(name));
        Ref value = entry.operation ? make_function(*entry.operation) : entry.object->make();
        set_global(key.get(), value.get());
    }
}

// The module-level statements, in order: the imports, the logger, the
// constants _KEY and _CHARSET, the module table, and an empty __test__.
void run_module_statements() {
    run_imports();
    shortcuts::remember_text_conversions();
    Ref logger = call(global(module_names.getLogger).get(), global(core_names.__name__).get());
    set_global(dot1x_names._logger, logger.get());
    set_global(system_names._KEY, module_names.key);
    set_global(core_names._CHARSET, core_names.utf_8);
    bind_module_level();
    Ref test = require(PyDict_New());
    set_global(module_names.__test__, test.get());
}

// Everything runs in the order the module's behaviour depends on: the
// builtins before any name is looked up, the constants before anything
// uses them, the sys.modules entry before the statements import other
// modules.
void execute(PyObject *module) {
    Execution execution(module);
    set_builtins(module);
    watch_for_interpreter_exit();
    check_version();
    ready_function_type();
    create_constants();
    if (register_in_sys_modules(module))
        execution.entered_sys_modules();
    cache_builtins();
    import_siblings();
    run_module_statements();
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
