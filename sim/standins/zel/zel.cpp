// zel.zel: where the kernel keeps per-port traffic counters.
//
// The four counter names are exported as variables and read through their
// addresses, so tests can repoint them (set_counter_file) and the stats root
// can be moved to a fixture directory (set_stats_root).
#include <cstdio>
#include <deque>
#include <string>

#include "../capi.h"

namespace {

constexpr const char *kDefaultRoot = "/sys/class/net";

struct Counter {
    const char *export_name;
    const char *default_value;
    char *value;
};

Counter g_counters[] = {
    {"SYS_CLASS_NET_STATS_TX_PKTS", "tx_packets", nullptr},
    {"SYS_CLASS_NET_STATS_TX_BYTES", "tx_bytes", nullptr},
    {"SYS_CLASS_NET_STATS_RX_PKTS", "rx_packets", nullptr},
    {"SYS_CLASS_NET_STATS_RX_BYTES", "rx_bytes", nullptr},
};

// Every value a counter ever pointed to stays alive: a reader may still
// hold the previous pointer while a test repoints the variable.
std::deque<std::string> g_values;
std::string g_root = kDefaultRoot;

char *keep(const char *value) {
    g_values.emplace_back(value);
    return g_values.back().data();
}

const char *system_port_stat_path(char *name, char *stat) {
    thread_local char path[4096];
    std::snprintf(path, sizeof path, "%s/%s/statistics/%s", g_root.c_str(),
                  name == nullptr ? "" : name, stat == nullptr ? "" : stat);
    return path;
}

Counter *find_counter(const char *export_name) {
    for (Counter &c : g_counters) {
        if (std::string(c.export_name) == export_name) {
            return &c;
        }
    }
    return nullptr;
}

// A path argument as bytes; None gives NULL with no exception set.
PyObject *path_bytes(PyObject *arg, bool *ok) {
    PyObject *bytes = nullptr;
    *ok = arg == Py_None || PyUnicode_FSConverter(arg, &bytes) != 0;
    return bytes;
}

PyObject *set_stats_root(PyObject *, PyObject *arg) {
    bool ok;
    PyObject *bytes = path_bytes(arg, &ok);
    if (!ok) {
        return nullptr;
    }
    g_root = bytes == nullptr ? kDefaultRoot : PyBytes_AS_STRING(bytes);
    Py_XDECREF(bytes);
    Py_RETURN_NONE;
}

PyObject *stats_root(PyObject *, PyObject *) {
    return PyUnicode_DecodeFSDefault(g_root.c_str());
}

PyObject *set_counter_file(PyObject *, PyObject *args) {
    const char *export_name;
    PyObject *value;
    if (!PyArg_ParseTuple(args, "sO:set_counter_file", &export_name, &value)) {
        return nullptr;
    }
    Counter *c = find_counter(export_name);
    if (c == nullptr) {
        return PyErr_Format(PyExc_ValueError, "no counter variable %s", export_name);
    }
    bool ok;
    PyObject *bytes = path_bytes(value, &ok);
    if (!ok) {
        return nullptr;
    }
    c->value = keep(bytes == nullptr ? c->default_value : PyBytes_AS_STRING(bytes));
    Py_XDECREF(bytes);
    Py_RETURN_NONE;
}

PyMethodDef methods[] = {
    {"set_stats_root", set_stats_root, METH_O,
     "set_stats_root(path)\n\nRoot of the per-port statistics tree; None restores "
     "/sys/class/net."},
    {"stats_root", stats_root, METH_NOARGS, "stats_root() -> str"},
    {"set_counter_file", set_counter_file, METH_VARARGS,
     "set_counter_file(export_name, value)\n\nRepoints a SYS_CLASS_NET_STATS_* variable; None "
     "restores its default."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "zel.zel",
    "Port statistics paths.",
    -1,
    methods,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

int add_exports(PyObject *table) {
    for (Counter &c : g_counters) {
        if (c.value == nullptr) {
            c.value = keep(c.default_value);
        }
        if (standins::add_export(table, c.export_name, &c.value, "char *") < 0) {
            return -1;
        }
    }
    return standins::add_export(table, "system_port_stat_path",
                                standins::function_address(system_port_stat_path),
                                "char const *(char *, char *)");
}

}  // namespace

PyMODINIT_FUNC PyInit_zel(void) {
    return standins::create_module(&module_def, add_exports);
}
