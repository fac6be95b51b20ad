#include "core/module_namespace.hpp"

#include <cstdint>

#include "core/errors.hpp"
#include "core/process.hpp"

namespace zel {

namespace {

// Lookups are cached per name and invalidated by any change of the module's
// dict or the builtins' dict: a dict watcher bumps `namespace_version` before
// each change, so a rebinding is seen by the very next lookup. A cached value
// is borrowed from its dict, which holds it for as long as the version stands.
uint64_t namespace_version = 1;
int namespace_watcher = -1;

int on_namespace_change(PyDict_WatchEvent, PyObject *, PyObject *, PyObject *) {
    ++namespace_version;
    return 0;
}

struct CachedName {
    PyObject *name;
    uint64_t version;
    PyObject *value;
};

constexpr size_t kCachedNames = 128;  // a power of two
CachedName cached_names[kCachedNames];

CachedName &cache_slot(PyObject *name) {
    return cached_names[(reinterpret_cast<uintptr_t>(name) >> 4) & (kCachedNames - 1)];
}

// The builtins' entry for `name`, borrowed; NameError when there is none.
PyObject *lookup_builtin(PyObject *name) {
    PyObject *value = PyDict_GetItemWithError(process.builtins, name);
    if (value == nullptr && !PyErr_Occurred())
        raise_error(PyExc_NameError, "name '%U' is not defined", name);
    if (value == nullptr)
        throw_error();
    return value;
}

PyObject *lookup(PyObject *name) {
    PyObject *value = PyDict_GetItemWithError(process.globals, name);
    if (value != nullptr)
        return value;
    if (PyErr_Occurred())
        throw_error();
    return lookup_builtin(name);
}

}  // namespace

Ref builtin(PyObject *name) {
    return Ref::borrow(lookup_builtin(name));
}

void watch_namespaces() {
    ++namespace_version;
    if (namespace_watcher == -1) {
        namespace_watcher = PyDict_AddWatcher(on_namespace_change);
        if (namespace_watcher < 0) {
            PyErr_Clear();  // every watcher slot taken: lookups go uncached
            return;
        }
    }
    require_status(PyDict_Watch(namespace_watcher, process.globals));
    require_status(PyDict_Watch(namespace_watcher, process.builtins));
}

void watch_dict(PyObject *dict) {
    if (namespace_watcher >= 0)
        require_status(PyDict_Watch(namespace_watcher, dict));
}

uint64_t namespace_stamp() {
    return namespace_watcher >= 0 ? namespace_version : 0;
}

Ref global(PyObject *name) {
    CachedName &cached = cache_slot(name);
    if (cached.name == name && cached.version == namespace_version && namespace_watcher >= 0)
        return Ref::borrow(cached.value);
    // A lookup may run code (a key's __eq__) that changes a dict: the version
    // taken before it then no longer stands, and the entry is not used.
    const uint64_t version = namespace_version;
    PyObject *value = lookup(name);
    cached = {name, version, value};
    return Ref::borrow(value);
}

void set_global(PyObject *name, PyObject *value) {
    require_status(PyDict_SetItem(process.globals, name, value));
}

}  // namespace zel
