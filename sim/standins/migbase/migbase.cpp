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

int add_exports(PyObject *table) {
    return standins::add_export(table, "WARM_START_PATH", &WARM_START_PATH, "char *");
}

}  // namespace

PyMODINIT_FUNC PyInit_migbase(void) {
    return standins::create_module(&module_def, add_exports);
}
