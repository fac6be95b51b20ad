#include "frame/function.hpp"

#include <cstddef>
#include <new>

#include "frame/names.hpp"
#include "zel_util/constants.hpp"

namespace zel {

namespace {

struct FunctionObject {
    PyObject_HEAD vectorcallfunc vectorcall;
    const FunctionSpec *spec;
    size_t nrequired;       // the required parameters come first
    PyObject *name;         // __name__ and __qualname__
    PyObject *module_name;  // __module__
    PyObject *defaults;     // __defaults__: a tuple, or NULL for None
    PyObject *annotations;  // __annotations__: "int" for each exact-int parameter
};

FunctionObject *as_function(PyObject *self) {
    return reinterpret_cast<FunctionObject *>(self);
}

// ---- argument errors -------------------------------------------------------

void raise_count_error(const FunctionObject &f, Py_ssize_t given) {
    const Py_ssize_t nparams = static_cast<Py_ssize_t>(f.spec->nparams);
    const Py_ssize_t nrequired = static_cast<Py_ssize_t>(f.nrequired);
    const bool too_few = given < nrequired;
    const Py_ssize_t expected = too_few ? nrequired : nparams;
    const char *word = nrequired == nparams ? "exactly" : (too_few ? "at least" : "at most");
    PyErr_Format(PyExc_TypeError, "%.200s() takes %.8s %zd positional argument%.1s (%zd given)",
                 f.spec->name, word, expected, expected == 1 ? "" : "s", given);
}

bool same_name(PyObject *keyword, PyObject *name) {
    if (keyword == name)
        return true;
    return PyUnicode_Check(keyword) && PyUnicode_Compare(keyword, name) == 0;
}

// Index of the parameter that `keyword` names, or nparams.
size_t param_index(const FunctionSpec &spec, PyObject *keyword) {
    size_t i = 0;
    while (i < spec.nparams && !same_name(keyword, *spec.params[i].name))
        ++i;
    return i;
}

// The value given under the keyword `name`, or NULL.
PyObject *keyword_value(PyObject *const *values, PyObject *kwnames, PyObject *name) {
    const Py_ssize_t n = PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < n; ++k) {
        if (PyTuple_GET_ITEM(kwnames, k) == name)
            return values[k];
    }
    for (Py_ssize_t k = 0; k < n; ++k) {
        if (same_name(PyTuple_GET_ITEM(kwnames, k), name))
            return values[k];
    }
    return nullptr;
}

// Reports the first keyword that names no parameter still open.
void raise_keyword_error(const FunctionSpec &spec, PyObject *kwnames, Py_ssize_t nargs) {
    for (Py_ssize_t k = 0; k < PyTuple_GET_SIZE(kwnames); ++k) {
        PyObject *keyword = PyTuple_GET_ITEM(kwnames, k);
        if (!PyUnicode_Check(keyword)) {
            PyErr_Format(PyExc_TypeError, "%.200s() keywords must be strings", spec.name);
            return;
        }
        const size_t i = param_index(spec, keyword);
        if (i == spec.nparams) {
            PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", spec.name,
                         keyword);
            return;
        }
        if (static_cast<Py_ssize_t>(i) < nargs) {
            PyErr_Format(PyExc_TypeError, "%s() got multiple values for keyword argument '%U'",
                         spec.name, keyword);
            return;
        }
    }
}

// ---- binding -----------------------------------------------------------------

// As for the interpreter's own no-argument functions, keywords are reported
// before positional arguments.
bool bind_none(const FunctionSpec &spec, Py_ssize_t nargs, PyObject *kwnames) {
    if (kwnames != nullptr && PyTuple_GET_SIZE(kwnames) > 0) {
        PyErr_Format(PyExc_TypeError, "%.200s() takes no keyword arguments", spec.name);
        return false;
    }
    if (nargs > 0) {
        PyErr_Format(PyExc_TypeError, "%.200s() takes no arguments (%zd given)", spec.name, nargs);
        return false;
    }
    return true;
}

// Fills the parameters after the positional ones from keywords and defaults.
bool bind_rest(const FunctionObject &f, PyObject *const *kwvalues, PyObject *kwnames,
               Py_ssize_t nargs, PyObject **bound) {
    const FunctionSpec &spec = *f.spec;
    Py_ssize_t unused = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
    for (size_t i = static_cast<size_t>(nargs); i < spec.nparams; ++i) {
        const Param &param = spec.params[i];
        PyObject *value = unused > 0 ? keyword_value(kwvalues, kwnames, *param.name) : nullptr;
        if (value != nullptr) {
            --unused;
        } else if (param.default_value == nullptr) {
            raise_count_error(f, static_cast<Py_ssize_t>(i));
            return false;
        } else {
            value = *param.default_value;
        }
        bound[i] = value;
    }
    if (unused > 0) {
        raise_keyword_error(spec, kwnames, nargs);
        return false;
    }
    return true;
}

bool check_types(const FunctionSpec &spec, PyObject *const *bound) {
    for (size_t i = 0; i < spec.nparams; ++i) {
        if (!spec.params[i].exact_int || Py_IS_TYPE(bound[i], &PyLong_Type))
            continue;
        PyErr_Format(PyExc_TypeError,
                     "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)",
                     PyUnicode_AsUTF8(*spec.params[i].name), PyLong_Type.tp_name,
                     Py_TYPE(bound[i])->tp_name);
        return false;
    }
    return true;
}

bool bind(const FunctionObject &f, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames,
          PyObject **bound) {
    const FunctionSpec &spec = *f.spec;
    if (spec.nparams == 0)
        return bind_none(spec, nargs, kwnames);
    if (nargs > static_cast<Py_ssize_t>(spec.nparams)) {
        raise_count_error(f, nargs);
        return false;
    }
    for (Py_ssize_t i = 0; i < nargs; ++i)
        bound[i] = args[i];
    return bind_rest(f, args + nargs, kwnames, nargs, bound) && check_types(spec, bound);
}

// ---- the function type -------------------------------------------------------

PyObject *function_vectorcall(PyObject *self, PyObject *const *args, size_t nargsf,
                              PyObject *kwnames) {
    const FunctionObject &f = *as_function(self);
    PyObject *bound[kMaxParams];
    if (bind(f, args, PyVectorcall_NARGS(nargsf), kwnames, bound)) {
        try {
            return f.spec->body(Args(bound)).release();
        } catch (const PyErrorSet &) {
        } catch (const std::bad_alloc &) {
            PyErr_NoMemory();
        }
    }
    add_traceback(f.spec->traceback);
    return nullptr;
}

void function_dealloc(PyObject *self) {
    FunctionObject *f = as_function(self);
    PyTypeObject *type = Py_TYPE(self);
    Py_XDECREF(f->name);
    Py_XDECREF(f->module_name);
    Py_XDECREF(f->defaults);
    Py_XDECREF(f->annotations);
    PyObject_Free(self);
    Py_DECREF(type);
}

// Fetched through a class or an instance, an operation stays itself, as a
// builtin function does: no binding to the instance. Being a descriptor is
// also what makes `inspect` count it as a routine, so that help() and stub
// checkers treat it as a function.
PyObject *function_descr_get(PyObject *self, PyObject *, PyObject *) {
    return Py_NewRef(self);
}

PyObject *function_repr(PyObject *self) {
    return PyUnicode_FromFormat("<built-in function %U>", as_function(self)->name);
}

PyObject *new_or_none(PyObject *value) {
    return Py_NewRef(value != nullptr ? value : Py_None);
}

PyObject *get_name(PyObject *self, void *) {
    return Py_NewRef(as_function(self)->name);
}
PyObject *get_module(PyObject *self, void *) {
    return new_or_none(as_function(self)->module_name);
}
PyObject *get_defaults(PyObject *self, void *) {
    return new_or_none(as_function(self)->defaults);
}
PyObject *get_annotations(PyObject *self, void *) {
    return Py_NewRef(as_function(self)->annotations);
}
PyObject *get_none(PyObject *, void *) {
    Py_RETURN_NONE;
}

// inspect.Parameter(name, POSITIONAL_OR_KEYWORD[, default=...][, annotation="int"]).
Ref make_parameter(PyObject *parameter_type, PyObject *kind, const Param &param) {
    Ref args = require(PyTuple_Pack(2, *param.name, kind));
    Ref kwargs = require(PyDict_New());
    if (param.default_value != nullptr)
        require_status(PyDict_SetItemString(kwargs.get(), "default", *param.default_value));
    if (param.exact_int)
        require_status(PyDict_SetItemString(kwargs.get(), "annotation", K.int_));
    return require(PyObject_Call(parameter_type, args.get(), kwargs.get()));
}

// What inspect.signature() reports, so that editors and stub checkers see the
// parameters the binder accepts. Built on each access from the FunctionSpec: this is
// introspection, never on a call path, so it uses no cached constants.
Ref make_signature(const FunctionSpec &spec) {
    Ref inspect = require(PyImport_ImportModule("inspect"));
    Ref parameter_type = require(PyObject_GetAttrString(inspect.get(), "Parameter"));
    Ref kind = require(PyObject_GetAttrString(parameter_type.get(), "POSITIONAL_OR_KEYWORD"));
    Ref params = require(PyList_New(static_cast<Py_ssize_t>(spec.nparams)));
    for (size_t i = 0; i < spec.nparams; ++i) {
        Ref param = make_parameter(parameter_type.get(), kind.get(), spec.params[i]);
        PyList_SET_ITEM(params.get(), static_cast<Py_ssize_t>(i), param.release());
    }
    Ref signature_type = require(PyObject_GetAttrString(inspect.get(), "Signature"));
    return call(signature_type.get(), params.get());
}

PyObject *get_signature(PyObject *self, void *) {
    try {
        return make_signature(*as_function(self)->spec).release();
    } catch (const PyErrorSet &) {
    } catch (const std::bad_alloc &) {
        PyErr_NoMemory();
    }
    return nullptr;
}

PyGetSetDef function_getset[] = {
    {"__name__", get_name, nullptr, nullptr, nullptr},
    {"__qualname__", get_name, nullptr, nullptr, nullptr},
    {"__module__", get_module, nullptr, nullptr, nullptr},
    {"__doc__", get_none, nullptr, nullptr, nullptr},
    {"__defaults__", get_defaults, nullptr, nullptr, nullptr},
    {"__kwdefaults__", get_none, nullptr, nullptr, nullptr},
    {"__annotations__", get_annotations, nullptr, nullptr, nullptr},
    {"__signature__", get_signature, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMemberDef function_members[] = {
    {"__vectorcalloffset__", Py_T_PYSSIZET, offsetof(FunctionObject, vectorcall), Py_READONLY,
     nullptr},
    {nullptr, 0, 0, 0, nullptr},
};

PyType_Slot function_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void *>(function_dealloc)},
    {Py_tp_repr, reinterpret_cast<void *>(function_repr)},
    {Py_tp_call, reinterpret_cast<void *>(PyVectorcall_Call)},
    {Py_tp_descr_get, reinterpret_cast<void *>(function_descr_get)},
    {Py_tp_getset, function_getset},
    {Py_tp_members, function_members},
    {0, nullptr},
};

PyType_Spec function_spec = {
    "zel.zel_util.function",
    sizeof(FunctionObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_VECTORCALL | Py_TPFLAGS_IMMUTABLETYPE |
        Py_TPFLAGS_DISALLOW_INSTANTIATION,
    function_slots,
};

PyTypeObject *FunctionType = nullptr;

Ref make_defaults(const FunctionSpec &spec, size_t nrequired) {
    if (nrequired == spec.nparams)
        return Ref();
    Ref defaults = require(PyTuple_New(static_cast<Py_ssize_t>(spec.nparams - nrequired)));
    for (size_t i = nrequired; i < spec.nparams; ++i) {
        PyTuple_SET_ITEM(defaults.get(), static_cast<Py_ssize_t>(i - nrequired),
                         Py_NewRef(*spec.params[i].default_value));
    }
    return defaults;
}

Ref make_annotations(const FunctionSpec &spec) {
    Ref annotations = require(PyDict_New());
    for (size_t i = 0; i < spec.nparams; ++i) {
        if (spec.params[i].exact_int)
            setitem(annotations.get(), *spec.params[i].name, K.int_);
    }
    return annotations;
}

}  // namespace

int ready_function_type() {
    if (FunctionType != nullptr)
        return 0;
    FunctionType = reinterpret_cast<PyTypeObject *>(PyType_FromSpec(&function_spec));
    return FunctionType != nullptr ? 0 : -1;
}

Ref make_function(const FunctionSpec &spec) {
    size_t nrequired = 0;
    while (nrequired < spec.nparams && spec.params[nrequired].default_value == nullptr) {
        ++nrequired;
    }
    Ref name = require(PyUnicode_InternFromString(spec.name));
    Ref module_name = global(K.__name__);
    Ref defaults = make_defaults(spec, nrequired);
    Ref annotations = make_annotations(spec);
    FunctionObject *f = PyObject_New(FunctionObject, FunctionType);
    if (f == nullptr)
        throw_error();
    f->vectorcall = function_vectorcall;
    f->spec = &spec;
    f->nrequired = nrequired;
    f->name = name.release();
    f->module_name = module_name.release();
    f->defaults = defaults.release();
    f->annotations = annotations.release();
    return Ref::steal(reinterpret_cast<PyObject *>(f));
}

void add_traceback(const char *name) {
    _PyTraceback_Add(name, "zel/zel_util", 0);
}

}  // namespace zel
