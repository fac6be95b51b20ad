#include "core/siblings.hpp"

#include <Python.h>

#include "core/ref.hpp"

namespace zel {

Siblings S;

namespace {

enum class Kind { variable, function };

// The entry of the export table under `name`, or NULL when there is none.
Ref table_entry(PyObject *table, const char *name) {
    Ref key = require(PyUnicode_FromString(name));
    PyObject *entry = PyObject_GetItem(table, key.get());
    if (entry == nullptr) {
        if (!PyErr_ExceptionMatches(PyExc_KeyError))
            throw_error();
        PyErr_Clear();
    }
    return Ref::steal(entry);
}

// The pointer exported by `module` under `name` with the signature `sig`.
// Whatever sys.modules holds under the module's name is asked for its
// export table, as `from module import __pyx_capi__` would; messages name
// the module as it was imported.
void *import_export(const char *module, const char *name, const char *sig, Kind kind) {
    const char *what = kind == Kind::function ? "function" : "variable";
    Ref mod = require(PyImport_ImportModule(module));
    Ref table = require(PyObject_GetAttrString(mod.get(), "__pyx_capi__"));
    Ref capsule = table_entry(table.get(), name);
    if (!capsule) {
        PyErr_Format(PyExc_ImportError, "%.200s does not export expected C %s %.200s", module, what,
                     name);
        throw_error();
    }
    if (!PyCapsule_IsValid(capsule.get(), sig)) {
        const char *actual = PyCapsule_CheckExact(capsule.get()) ? PyCapsule_GetName(capsule.get())
                                                                 : Py_TYPE(capsule.get())->tp_name;
        PyErr_Format(PyExc_TypeError,
                     "C %s %.200s.%.200s has wrong signature (expected %.500s, got %.500s)", what,
                     module, name, sig, actual != nullptr ? actual : "(null)");
        throw_error();
    }
    void *pointer = PyCapsule_GetPointer(capsule.get(), sig);
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

void import_siblings() {
    S.warm_start_path = import_variable("migbase.migbase", "WARM_START_PATH");
    S.stats_tx_packets = import_variable("zel.zel", "SYS_CLASS_NET_STATS_TX_PKTS");
    S.stats_tx_bytes = import_variable("zel.zel", "SYS_CLASS_NET_STATS_TX_BYTES");
    S.stats_rx_packets = import_variable("zel.zel", "SYS_CLASS_NET_STATS_RX_PKTS");
    S.stats_rx_bytes = import_variable("zel.zel", "SYS_CLASS_NET_STATS_RX_BYTES");
    import_function("zel.zel", "system_port_stat_path", "char const *(char *, char *)",
                    S.system_port_stat_path);
    import_function("util.string", "strtcpy", "int (char *, int, char const *)", S.strtcpy);
}

}  // namespace zel
