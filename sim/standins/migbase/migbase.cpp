// migbase.migbase: the path of the warm-start marker on the flash.
#include "../capi.h"

namespace {

char kDefaultWarmStartPath[] = "/mnt/flash/warm_start";
char *WARM_START_PATH = kDefaultWarmStartPath;

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "migbase.migbase",
    "Migration base paths.",
    -1,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit_migbase(void) {
    PyObject *module = PyModule_Create(&module_def);
    if (module == nullptr) {
        return nullptr;
    }
    PyObject *table = standins::new_export_table(module);
    if (table == nullptr ||
        standins::add_export(table, "WARM_START_PATH", &WARM_START_PATH, "char *") < 0) {
        Py_DECREF(module);
        return nullptr;
    }
    return module;
}
