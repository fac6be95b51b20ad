#include "core/siblings.hpp"

#include <Python.h>

#include "core/errors.hpp"
#include "core/ref.hpp"

namespace zel {

UtilStringExports util_string;

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
        raise_error(PyExc_ImportError, "%.200s does not export expected C %s %.200s", module, what,
                    name);
    }
    if (!PyCapsule_IsValid(capsule.get(), sig)) {
        const char *actual = PyCapsule_CheckExact(capsule.get()) ? PyCapsule_GetName(capsule.get())
                                                                 : Py_TYPE(capsule.get())->tp_name;
        raise_error(PyExc_TypeError,
                    "C %s %.200s.%.200s has wrong signature (expected %.500s, got %.500s)", what,
                    module, name, sig, actual != nullptr ? actual : "(null)");
    }
    void *pointer = PyCapsule_GetPointer(capsule.get(), sig);
    if (pointer == nullptr)
        throw_error();
    return pointer;
}

}  // namespace

char **import_variable(const char *module, const char *name) {
    return static_cast<char **>(import_export(module, name, "char *", Kind::variable));
}

void *import_function_pointer(const char *module, const char *name, const char *sig) {
    return import_export(module, name, sig, Kind::function);
}

void import_util_string() {
    import_function("util.string", "strtcpy", "int (char *, int, char const *)",
                    util_string.strtcpy);
}

}  // namespace zel
