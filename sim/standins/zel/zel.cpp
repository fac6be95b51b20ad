// zel.zel: where the kernel keeps per-port traffic counters.
//
// The four counter names are exported as variables and read through their
// addresses, so tests can repoint them (set_counter_file). The ports a
// simulator scenario lists have their counter files in a directory of their
// own (set_scenario_ports); every other name reads the kernel's files. A
// test can move every name to a fixture directory (set_stats_root).
#include <cstdio>
#include <deque>
#include <optional>
#include <set>
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
// Set by a test: every name's files are there.
std::optional<std::string> g_root;
// The scenario's ports and the directory holding their files.
std::string g_scenario_root;
std::set<std::string> g_scenario_ports;

char *keep(const char *value) {
    g_values.emplace_back(value);
    return g_values.back().data();
}

const char *root_for(const char *name) {
    if (g_root) {
        return g_root->c_str();
    }
    if (name != nullptr && g_scenario_ports.count(name) != 0) {
        return g_scenario_root.c_str();
    }
    return kDefaultRoot;
}

const char *system_port_stat_path(char *name, char *stat) {
    thread_local char path[4096];
    std::snprintf(path, sizeof path, "%s/%s/statistics/%s", root_for(name),
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
    if (bytes == nullptr) {
        g_root.reset();
    } else {
        g_root = PyBytes_AS_STRING(bytes);
    }
    Py_XDECREF(bytes);
    Py_RETURN_NONE;
}

PyObject *stats_root(PyObject *, PyObject *) {
    return PyUnicode_DecodeFSDefault(g_root ? g_root->c_str() : kDefaultRoot);
}

// The names of an iterable of str or bytes, or false with an exception set.
bool collect_names(PyObject *names, std::set<std::string> *out) {
    PyObject *iterator = PyObject_GetIter(names);
    if (iterator == nullptr) {
        return false;
    }
    PyObject *item;
    bool ok = true;
    while (ok && (item = PyIter_Next(iterator)) != nullptr) {
        PyObject *bytes = nullptr;
        ok = PyUnicode_FSConverter(item, &bytes) != 0;
        if (ok) {
            out->emplace(PyBytes_AS_STRING(bytes), PyBytes_GET_SIZE(bytes));
        }
        Py_XDECREF(bytes);
        Py_DECREF(item);
    }
    Py_DECREF(iterator);
    return ok && PyErr_Occurred() == nullptr;
}

PyObject *set_scenario_ports(PyObject *, PyObject *args) {
    PyObject *root;
    PyObject *names;
    if (!PyArg_ParseTuple(args, "OO:set_scenario_ports", &root, &names)) {
        return nullptr;
    }
    bool ok;
    PyObject *bytes = path_bytes(root, &ok);
    std::set<std::string> ports;
    if (!ok || (bytes != nullptr && !collect_names(names, &ports))) {
        Py_XDECREF(bytes);
        return nullptr;
    }
    g_scenario_root = bytes == nullptr ? std::string() : PyBytes_AS_STRING(bytes);
    g_scenario_ports = std::move(ports);
    Py_XDECREF(bytes);
    Py_RETURN_NONE;
}

PyObject *scenario_ports(PyObject *, PyObject *) {
    PyObject *list = PyList_New(0);
    for (const std::string &name : g_scenario_ports) {
        PyObject *item = list == nullptr ? nullptr : PyUnicode_DecodeFSDefault(name.c_str());
        if (item == nullptr || PyList_Append(list, item) < 0) {
            Py_XDECREF(item);
            Py_XDECREF(list);
            return nullptr;
        }
        Py_DECREF(item);
    }
    return list;
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
     "set_stats_root(path)\n\nRoot of the per-port statistics tree for every name; None "
     "restores the scenario's ports and /sys/class/net for the others."},
    {"stats_root", stats_root, METH_NOARGS, "stats_root() -> str"},
    {"set_scenario_ports", set_scenario_ports, METH_VARARGS,
     "set_scenario_ports(root, names)\n\nThe counter files of these port names are under root "
     "(root None: no scenario ports); other names keep /sys/class/net. set_stats_root wins over "
     "both."},
    {"scenario_ports", scenario_ports, METH_NOARGS, "scenario_ports() -> list[str]"},
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
