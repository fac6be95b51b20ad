#include "frame/function.hpp"

#include <cstddef>
#include <cstdint>
#include <new>

#include "frame/names.hpp"
#include "frame/process.hpp"
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
    uint64_t generation;    // the execution of the module that made it
};

FunctionObject *as_function(PyObject *self) {
    return reinterpret_cast<FunctionObject *>(self);
}

// ---- argument errors -------------------------------------------------------

[[noreturn]] void raise_count_error(const FunctionObject &f, Py_ssize_t given) {
    const Py_ssize_t nparams = static_cast<Py_ssize_t>(f.spec->nparams);
    const Py_ssize_t nrequired = static_cast<Py_ssize_t>(f.nrequired);
    const bool too_few = given < nrequired;
    const Py_ssize_t expected = too_few ? nrequired : nparams;
    const char *word = nrequired == nparams ? "exactly" : (too_few ? "at least" : "at most");
    PyErr_Format(PyExc_TypeError, "%.200s() takes %.8s %zd positional argument%.1s (%zd given)",
                 f.spec->name, word, expected, expected == 1 ? "" : "s", given);
    throw_error();
}

// What is wrong with one keyword, found while the keywords are matched and
// reported only once the parameters are known to be complete.
enum class KeywordFault { none, not_str, unknown, given_by_position, given_twice };

[[noreturn]] void raise_keyword_error(const FunctionSpec &spec, KeywordFault fault,
                                      PyObject *keyword) {
    switch (fault) {
        case KeywordFault::not_str:
            PyErr_Format(PyExc_TypeError, "%.200s() keywords must be strings", spec.name);
            break;
        case KeywordFault::unknown:
            PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", spec.name,
                         keyword);
            break;
        case KeywordFault::given_by_position:
            PyErr_Format(PyExc_TypeError, "%s() got multiple values for keyword argument '%U'",
                         spec.name, keyword);
            break;
        case KeywordFault::given_twice:
        case KeywordFault::none:
            PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%U'", spec.name,
                         keyword);
            break;
    }
    throw_error();
}

// ---- binding -----------------------------------------------------------------

// A keyword names a parameter when it is that very object or a str of the
// same text; a str subclass's own __eq__ and __hash__ play no part.
bool same_name(PyObject *keyword, PyObject *name) {
    if (keyword == name)
        return true;
    return PyUnicode_Check(keyword) && PyUnicode_Compare(keyword, name) == 0;
}

// Index of the parameter that `keyword` names, or nparams.
size_t param_index(const FunctionSpec &spec, PyObject *keyword) {
    for (size_t i = 0; i < spec.nparams; ++i) {
        if (*spec.params[i].name == keyword)
            return i;
    }
    size_t i = 0;
    while (i < spec.nparams && !same_name(keyword, *spec.params[i].name))
        ++i;
    return i;
}

// As for the interpreter's own no-argument functions, keywords are reported
// before positional arguments.
void bind_none(const FunctionSpec &spec, Py_ssize_t nargs, PyObject *kwnames) {
    if (kwnames != nullptr && PyTuple_GET_SIZE(kwnames) > 0) {
        PyErr_Format(PyExc_TypeError, "%.200s() takes no keyword arguments", spec.name);
        throw_error();
    }
    if (nargs > 0) {
        PyErr_Format(PyExc_TypeError, "%.200s() takes no arguments (%zd given)", spec.name, nargs);
        throw_error();
    }
}

// Puts each keyword's value in its parameter's slot, in the keywords' order.
// The first faulty keyword is reported after the parameters are completed,
// so that a missing parameter is reported first.
void bind_keywords(const FunctionSpec &spec, PyObject *const *kwvalues, PyObject *kwnames,
                   Py_ssize_t nargs, PyObject **bound) {
    KeywordFault fault = KeywordFault::none;
    PyObject *faulty = nullptr;
    const Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        PyObject *keyword = PyTuple_GET_ITEM(kwnames, k);
        KeywordFault found = KeywordFault::none;
        const size_t i = PyUnicode_Check(keyword) ? param_index(spec, keyword) : spec.nparams;
        if (!PyUnicode_Check(keyword))
            found = KeywordFault::not_str;
        else if (i == spec.nparams)
            found = KeywordFault::unknown;
        else if (static_cast<Py_ssize_t>(i) < nargs)
            found = KeywordFault::given_by_position;
        else if (bound[i] != nullptr)
            found = KeywordFault::given_twice;
        else
            bound[i] = kwvalues[k];
        if (found != KeywordFault::none && fault == KeywordFault::none) {
            fault = found;
            faulty = keyword;
        }
    }
    if (fault == KeywordFault::none)
        return;
    // Every parameter left open would be reported before the keyword.
    for (size_t i = static_cast<size_t>(nargs); i < spec.nparams; ++i) {
        if (bound[i] == nullptr && spec.params[i].default_value == nullptr)
            return;
    }
    raise_keyword_error(spec, fault, faulty);
}

// Fills the parameters after the positional ones from keywords and defaults.
void bind_rest(const FunctionObject &f, PyObject *const *kwvalues, PyObject *kwnames,
               Py_ssize_t nargs, PyObject **bound) {
    const FunctionSpec &spec = *f.spec;
    for (size_t i = static_cast<size_t>(nargs); i < spec.nparams; ++i)
        bound[i] = nullptr;
    bind_keywords(spec, kwvalues, kwnames, nargs, bound);
    for (size_t i = static_cast<size_t>(nargs); i < spec.nparams; ++i) {
        if (bound[i] != nullptr)
            continue;
        if (spec.params[i].default_value == nullptr)
            raise_count_error(f, static_cast<Py_ssize_t>(i));
        bound[i] = *spec.params[i].default_value;
    }
}

void check_types(const FunctionSpec &spec, PyObject *const *bound) {
    for (size_t i = 0; i < spec.nparams; ++i) {
        if (!spec.params[i].exact_int || Py_IS_TYPE(bound[i], &PyLong_Type))
            continue;
        PyErr_Format(PyExc_TypeError,
                     "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)",
                     PyUnicode_AsUTF8(*spec.params[i].name), PyLong_Type.tp_name,
                     Py_TYPE(bound[i])->tp_name);
        throw_error();
    }
}

// Binds the arguments into `bound`, or throws with the TypeError set.
void bind(const FunctionObject &f, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames,
          PyObject **bound) {
    const FunctionSpec &spec = *f.spec;
    if (spec.nparams == 0)
        return bind_none(spec, nargs, kwnames);
    if (nargs > static_cast<Py_ssize_t>(spec.nparams))
        raise_count_error(f, nargs);
    for (Py_ssize_t i = 0; i < nargs; ++i)
        bound[i] = args[i];
    bind_rest(f, args + nargs, kwnames, nargs, bound);
    check_types(spec, bound);
}

// ---- the function type -------------------------------------------------------

// The interpreter's recursion guard around one call of an operation, so
// that an operation reaching itself (through a module-level name rebound to
// it) raises RecursionError instead of exhausting the C stack.
class RecursionGuard {
  public:
    RecursionGuard() {
        if (Py_EnterRecursiveCall(" while calling a Python object"))
            throw_error();
    }
    // A thread torn down at interpreter exit has no thread state left to
    // count in.
    ~RecursionGuard() {
        if (holds_interpreter_lock())
            Py_LeaveRecursiveCall();
    }
    RecursionGuard(const RecursionGuard &) = delete;
    RecursionGuard &operator=(const RecursionGuard &) = delete;
};

// Function objects belong to one execution of the module: when it fails,
// the state they read is gone, and they refuse to run.
void check_usable(const FunctionObject &f) {
    if (f.generation == P.generation)
        return;
    PyErr_Format(PyExc_ImportError,
                 "%s() belongs to an import of %U that failed; import the module again",
                 f.spec->name, f.module_name);
    throw_error();
}

PyObject *function_vectorcall(PyObject *self, PyObject *const *args, size_t nargsf,
                              PyObject *kwnames) {
    const FunctionObject &f = *as_function(self);
    try {
        check_usable(f);
        RecursionGuard guard;
        PyObject *bound[kMaxParams];
        bind(f, args, PyVectorcall_NARGS(nargsf), kwnames, bound);
        return f.spec->body(Args(bound)).release();
    } catch (const PyErrorSet &) {
    } catch (const std::bad_alloc &) {
        PyErr_NoMemory();
    }
    if (!PyErr_Occurred())
        PyErr_Format(PyExc_SystemError, "%s() failed without setting an exception", f.spec->name);
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

// Pickled and copied by name, as builtins are: pickle stores the module and
// the name, and copy returns the object itself.
PyObject *function_reduce(PyObject *self, PyObject *) {
    return Py_NewRef(as_function(self)->name);
}

PyMethodDef function_methods[] = {
    {"__reduce__", function_reduce, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

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
    {Py_tp_methods, function_methods},
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
    f->generation = P.generation;
    return Ref::steal(reinterpret_cast<PyObject *>(f));
}

void add_traceback(const char *name) {
    _PyTraceback_Add(name, "zel/zel_util", 0);
}

}  // namespace zel
