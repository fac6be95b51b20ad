#include "frame/siblings.hpp"

#include <Python.h>

#include "frame/ref.hpp"

namespace zel {

Siblings S;

namespace {

enum class Kind { variable, function };

// The pointer exported by `module` under `name` with the signature `sig`.
void *import_export(const char *module, const char *name, const char *sig, Kind kind) {
    const char *what = kind == Kind::function ? "function" : "variable";
    Ref mod = require(PyImport_ImportModule(module));
    Ref table = require(PyObject_GetAttrString(mod.get(), "__pyx_capi__"));
    const char *module_name = PyModule_GetName(mod.get());
    if (module_name == nullptr)
        throw_error();
    PyObject *capsule = PyDict_GetItemString(table.get(), name);
    if (capsule == nullptr) {
        PyErr_Format(PyExc_ImportError, "%.200s does not export expected C %s %.200s", module_name,
                     what, name);
        throw_error();
    }
    if (!PyCapsule_IsValid(capsule, sig)) {
        PyErr_Format(PyExc_TypeError,
                     "C %s %.200s.%.200s has wrong signature (expected %.500s, got %.500s)", what,
                     module_name, name, sig, PyCapsule_GetName(capsule));
        throw_error();
    }
    void *pointer = PyCapsule_GetPointer(capsule, sig);
    if (pointer == nullptr)
        throw_error();
    return pointer;
}

char **import_variable(const char *module, const char *name) {
    return static_cast<char **>(import_export(module, name, "char *", Kind::variable));
}

template <typename Fn>
void import_function(const char *module, const char *name, const char *sig, Fn *&slot) {
    slot = reinterpret_cast<Fn *>(import_export(module, name, sig, Kind::function));
}

}  // namespace

int import_siblings() {
    try {
        S.warm_start_path = import_variable("migbase.migbase", "WARM_START_PATH");
        S.stats_tx_packets = import_variable("zel.zel", "SYS_CLASS_NET_STATS_TX_PKTS");
        S.stats_tx_bytes = import_variable("zel.zel", "SYS_CLASS_NET_STATS_TX_BYTES");
        S.stats_rx_packets = import_variable("zel.zel", "SYS_CLASS_NET_STATS_RX_PKTS");
        S.stats_rx_bytes = import_variable("zel.zel", "SYS_CLASS_NET_STATS_RX_BYTES");
        import_function("zel.zel", "system_port_stat_path", "char const *(char *, char *)",
                        S.system_port_stat_path);
        import_function("util.string", "strtcpy", "int (char *, int, char const *)", S.strtcpy);
    } catch (const PyErrorSet &) {
        return -1;
    }
    return 0;
}

}  // namespace zel
