// zel.zel: where the kernel keeps per-port traffic counters.
//
// The four counter names are exported as variables and read through their
// addresses, so tests can repoint them (set_counter_file). The ports a
// simulator scenario lists have their counter files in a directory of their
// own (set_scenario_ports); every other name reads the kernel's files. A
// test can move every name to a fixture directory (set_stats_root).
#include <cstdio>
#include <deque>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>

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
// Looked up by std::string_view (std::less<>): finding a path allocates
// nothing, so system_port_stat_path, which the product module calls, cannot
// throw.
using PortNames = std::set<std::string, std::less<>>;
PortNames g_scenario_ports;

char *keep(const char *value) {
    g_values.emplace_back(value);
    return g_values.back().data();
}

const char *root_for(const char *name) noexcept {
    if (g_root) {
        return g_root->c_str();
    }
    if (name != nullptr && g_scenario_ports.count(std::string_view(name)) != 0) {
        return g_scenario_root.c_str();
    }
    return kDefaultRoot;
}

const char *system_port_stat_path(char *name, char *stat) noexcept {
    thread_local char path[4096];
    std::snprintf(path, sizeof path, "%s/%s/statistics/%s", root_for(name),
                  name == nullptr ? "" : name, stat == nullptr ? "" : stat);
    return path;
}

Counter *find_counter(const char *export_name) {
    for (Counter &c : g_counters) {
        if (std::string_view(c.export_name) == export_name) {
            return &c;
        }
    }
    return nullptr;
}

// A path argument as bytes; None gives an empty reference with no exception
// set.
standins::Owned path_bytes(PyObject *arg, bool *ok) {
    PyObject *bytes = nullptr;
    *ok = arg == Py_None || PyUnicode_FSConverter(arg, &bytes) != 0;
    return standins::owned(bytes);
}

PyObject *set_stats_root(PyObject *, PyObject *arg) {
    return standins::guarded([&]() -> PyObject * {
        bool ok;
        standins::Owned bytes = path_bytes(arg, &ok);
        if (!ok) {
            return nullptr;
        }
        if (bytes == nullptr) {
            g_root.reset();
        } else {
            g_root = PyBytes_AS_STRING(bytes.get());
        }
        Py_RETURN_NONE;
    });
}

PyObject *stats_root(PyObject *, PyObject *) {
    return PyUnicode_DecodeFSDefault(g_root ? g_root->c_str() : kDefaultRoot);
}

// The names of an iterable of str or bytes, or false with an exception set.
bool collect_names(PyObject *names, PortNames *out) {
    standins::Owned iterator = standins::owned(PyObject_GetIter(names));
    if (iterator == nullptr) {
        return false;
    }
    while (standins::Owned item = standins::owned(PyIter_Next(iterator.get()))) {
        PyObject *converted = nullptr;
        if (PyUnicode_FSConverter(item.get(), &converted) == 0) {
            return false;
        }
        standins::Owned bytes = standins::owned(converted);
        out->emplace(PyBytes_AS_STRING(converted), PyBytes_GET_SIZE(converted));
    }
    return PyErr_Occurred() == nullptr;
}

PyObject *set_scenario_ports(PyObject *, PyObject *args) {
    return standins::guarded([&]() -> PyObject * {
        PyObject *root;
        PyObject *names;
        if (!PyArg_ParseTuple(args, "OO:set_scenario_ports", &root, &names)) {
            return nullptr;
        }
        bool ok;
        standins::Owned bytes = path_bytes(root, &ok);
        PortNames ports;
        if (!ok || (bytes != nullptr && !collect_names(names, &ports))) {
            return nullptr;
        }
        g_scenario_root = bytes == nullptr ? std::string() : PyBytes_AS_STRING(bytes.get());
        g_scenario_ports = std::move(ports);
        Py_RETURN_NONE;
    });
}

PyObject *scenario_ports(PyObject *, PyObject *) {
    standins::Owned list = standins::owned(PyList_New(0));
    for (const std::string &name : g_scenario_ports) {
        standins::Owned item =
            standins::owned(list == nullptr ? nullptr : PyUnicode_DecodeFSDefault(name.c_str()));
        if (item == nullptr || PyList_Append(list.get(), item.get()) < 0) {
            return nullptr;
        }
    }
    return list.release();
}

PyObject *set_counter_file(PyObject *, PyObject *args) {
    return standins::guarded([&]() -> PyObject * {
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
        standins::Owned bytes = path_bytes(value, &ok);
        if (!ok) {
            return nullptr;
        }
        c->value = keep(bytes == nullptr ? c->default_value : PyBytes_AS_STRING(bytes.get()));
        Py_RETURN_NONE;
    });
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

// Py_None borrowed when every export is in the table, NULL with an
// exception set otherwise.
PyObject *fill_exports(PyObject *table) {
    for (Counter &c : g_counters) {
        if (c.value == nullptr) {
            c.value = keep(c.default_value);
        }
        if (standins::add_export(table, c.export_name, &c.value, "char *") < 0) {
            return nullptr;
        }
    }
    if (standins::add_export(table, "system_port_stat_path",
                             standins::function_address(system_port_stat_path),
                             "char const *(char *, char *)") < 0) {
        return nullptr;
    }
    return Py_None;
}

int add_exports(PyObject *table) {
    return standins::guarded([&] { return fill_exports(table); }) == nullptr ? -1 : 0;
}

}  // namespace

PyMODINIT_FUNC PyInit_zel(void) {
    return standins::create_module(&module_def, add_exports);
}
