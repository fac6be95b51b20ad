#include "frame/names.hpp"

#include <cstdint>

#include "frame/process.hpp"
#include "zel_util/constants.hpp"

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

PyObject *lookup(PyObject *name) {
    PyObject *value = PyDict_GetItemWithError(P.globals, name);
    if (value == nullptr && !PyErr_Occurred()) {
        value = PyDict_GetItemWithError(P.builtins, name);
        if (value == nullptr && !PyErr_Occurred())
            PyErr_Format(PyExc_NameError, "name '%U' is not defined", name);
    }
    if (value == nullptr)
        throw_error();
    return value;
}

}  // namespace

void watch_namespaces() {
    ++namespace_version;
    if (namespace_watcher == -1) {
        namespace_watcher = PyDict_AddWatcher(on_namespace_change);
        if (namespace_watcher < 0) {
            PyErr_Clear();  // every watcher slot taken: lookups go uncached
            return;
        }
    }
    require_status(PyDict_Watch(namespace_watcher, P.globals));
    require_status(PyDict_Watch(namespace_watcher, P.builtins));
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

namespace {

// A named-tuple class made at initialisation, with the __new__ and __init__
// it was made with. While the class still has them, an instance can be
// built as its __new__ builds it (tuple.__new__(cls, values)) without
// running that Python-level __new__.
struct MadeTuple {
    PyObject *type;
    PyObject *new_fn;
    PyObject *init_fn;
};

constexpr size_t kMaxMadeTuples = 4;
MadeTuple made_tuples[kMaxMadeTuples];
size_t made_tuple_count = 0;

const MadeTuple *made_tuple(PyObject *type) {
    for (size_t i = 0; i < made_tuple_count; ++i) {
        if (made_tuples[i].type == type)
            return &made_tuples[i];
    }
    return nullptr;
}

bool unchanged(const MadeTuple &made) {
    auto *type = reinterpret_cast<PyTypeObject *>(made.type);
    return _PyType_Lookup(type, K.__new__) == made.new_fn &&
           _PyType_Lookup(type, K.__init__) == made.init_fn;
}

void remember_made_tuple(PyObject *type) {
    if (!PyType_Check(type) || made_tuple(type) != nullptr || made_tuple_count == kMaxMadeTuples)
        return;
    auto *as_type = reinterpret_cast<PyTypeObject *>(type);
    made_tuples[made_tuple_count++] = {Py_NewRef(type),
                                       Py_XNewRef(_PyType_Lookup(as_type, K.__new__)),
                                       Py_XNewRef(_PyType_Lookup(as_type, K.__init__))};
}

}  // namespace

Ref make_named_tuple(PyObject *type_name, PyObject *fields) {
    Ref type = call(global(K.namedtuple).get(), type_name, fields);
    require_status(PyObject_SetAttr(type.get(), K.__module__, global(K.__name__).get()));
    remember_made_tuple(type.get());
    return type;
}

Ref new_named_tuple_of(PyObject *type, PyObject *const *items, size_t n) {
    const MadeTuple *made = made_tuple(type);
    if (made == nullptr || !unchanged(*made))
        return require(PyObject_Vectorcall(type, items, n, nullptr));
    auto *as_type = reinterpret_cast<PyTypeObject *>(type);
    Ref instance = require(as_type->tp_alloc(as_type, static_cast<Py_ssize_t>(n)));
    for (size_t i = 0; i < n; ++i)
        PyTuple_SET_ITEM(instance.get(), static_cast<Py_ssize_t>(i), Py_NewRef(items[i]));
    return instance;
}

void set_global(PyObject *name, PyObject *value) {
    require_status(PyDict_SetItem(P.globals, name, value));
}

}  // namespace zel
