#include "core/function_object.hpp"

#include <cstddef>
#include <cstdint>

#include "core/binder.hpp"
#include "core/boundary.hpp"
#include "core/calls.hpp"
#include "core/errors.hpp"
#include "core/module_namespace.hpp"
#include "core/process.hpp"
#include "core/stack_room.hpp"
#include "core/strings.hpp"

namespace zel {

namespace {

struct FunctionObject {
    PyObject_HEAD vectorcallfunc vectorcall;
    Signature sig;
    PyObject *name;         // __name__ and __qualname__
    PyObject *module_name;  // __module__
    PyObject *annotations;  // __annotations__: "int" for each exact-int parameter
    uint64_t generation;    // the execution of the module that made it
};

FunctionObject *as_function(PyObject *self) {
    return reinterpret_cast<FunctionObject *>(self);
}

// The interpreter's recursion guard around one call of an operation, so
// that an operation reaching itself (through a module-level name rebound to
// it) raises RecursionError instead of exhausting the C stack: on the count,
// or sooner when the thread's stack is too small for the count to protect.
class RecursionGuard {
  public:
    RecursionGuard() {
        require_stack_room();
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
    if (f.generation == process.generation)
        return;
    raise_error(PyExc_ImportError,
                "%s() belongs to an import of %U that failed; import the module again",
                f.sig.op->name, f.module_name);
}

PyObject *function_vectorcall(PyObject *self, PyObject *const *args, size_t nargsf,
                              PyObject *kwnames) {
    const FunctionObject &f = *as_function(self);
    return at_boundary<PyObject *>(nullptr, f.sig.op->traceback, [&] {
        check_usable(f);
        RecursionGuard guard;
        PyObject *bound[kMaxParams];
        bind(f.sig, args, PyVectorcall_NARGS(nargsf), kwnames, bound);
        return f.sig.op->invoke(bound).release();
    });
}

void function_dealloc(PyObject *self) {
    FunctionObject *f = as_function(self);
    PyTypeObject *type = Py_TYPE(self);
    for (size_t i = 0; i < f->sig.op->nparams; ++i)
        Py_XDECREF(f->sig.names[i]);
    Py_XDECREF(f->sig.defaults);
    Py_XDECREF(f->name);
    Py_XDECREF(f->module_name);
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
    return at_boundary([&] {
        return require(PyUnicode_FromFormat("<built-in function %U>", as_function(self)->name))
            .release();
    });
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
    return new_or_none(as_function(self)->sig.defaults);
}
PyObject *get_annotations(PyObject *self, void *) {
    return Py_NewRef(as_function(self)->annotations);
}
PyObject *get_none(PyObject *, void *) {
    Py_RETURN_NONE;
}

// inspect.Parameter(name, POSITIONAL_OR_KEYWORD[, default=...][, annotation="int"]).
Ref make_parameter(PyObject *parameter_type, PyObject *kind, const Signature &sig, size_t i) {
    Ref args = require(PyTuple_Pack(2, sig.names[i], kind));
    Ref kwargs = require(PyDict_New());
    if (i >= sig.nrequired) {
        PyObject *value =
            PyTuple_GET_ITEM(sig.defaults, static_cast<Py_ssize_t>(i - sig.nrequired));
        require_status(PyDict_SetItemString(kwargs.get(), "default", value));
    }
    if (sig.op->params[i].accepts == Accepts::exact_int)
        require_status(PyDict_SetItemString(kwargs.get(), "annotation", core_names.int_));
    return require(PyObject_Call(parameter_type, args.get(), kwargs.get()));
}

// What inspect.signature() reports, so that editors and stub checkers see the
// parameters the binder accepts. Built afresh on each access: this is
// introspection, never on a call path.
Ref make_signature(const Signature &sig) {
    Ref inspect = require(PyImport_ImportModule("inspect"));
    Ref parameter_type = require(PyObject_GetAttrString(inspect.get(), "Parameter"));
    Ref kind = require(PyObject_GetAttrString(parameter_type.get(), "POSITIONAL_OR_KEYWORD"));
    Ref params = require(PyList_New(static_cast<Py_ssize_t>(sig.op->nparams)));
    for (size_t i = 0; i < sig.op->nparams; ++i) {
        Ref param = make_parameter(parameter_type.get(), kind.get(), sig, i);
        PyList_SET_ITEM(params.get(), static_cast<Py_ssize_t>(i), param.release());
    }
    Ref signature_type = require(PyObject_GetAttrString(inspect.get(), "Signature"));
    return call(signature_type.get(), params.get());
}

PyObject *get_signature(PyObject *self, void *) {
    return at_boundary([&] { return make_signature(as_function(self)->sig).release(); });
}

// Pickled and copied by name, as builtins are: pickle stores the module and
// the name, and copy returns the object itself.
PyObject *function_reduce(PyObject *self, PyObject *) {
    return at_boundary([&] { return Ref::borrow(as_function(self)->name).release(); });
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

Ref default_object(const Default &value) {
    if (value.kind == Default::Kind::integer)
        return require(PyLong_FromLong(value.value));
    return Ref::borrow(Py_None);
}

// The signature's names and defaults, each a new reference for the object.
void fill_signature(Signature &sig, const Operation &op) {
    sig.op = &op;
    sig.nrequired = 0;
    while (sig.nrequired < op.nparams &&
           op.params[sig.nrequired].default_value.kind == Default::Kind::required)
        ++sig.nrequired;
    for (size_t i = 0; i < op.nparams; ++i)
        sig.names[i] = require(PyUnicode_InternFromString(op.params[i].name)).release();
    if (sig.nrequired == op.nparams)
        return;
    sig.defaults =
        require(PyTuple_New(static_cast<Py_ssize_t>(op.nparams - sig.nrequired))).release();
    for (size_t i = sig.nrequired; i < op.nparams; ++i) {
        PyTuple_SET_ITEM(sig.defaults, static_cast<Py_ssize_t>(i - sig.nrequired),
                         default_object(op.params[i].default_value).release());
    }
}

Ref make_annotations(const Signature &sig) {
    Ref annotations = require(PyDict_New());
    for (size_t i = 0; i < sig.op->nparams; ++i) {
        if (sig.op->params[i].accepts == Accepts::exact_int)
            require_status(PyDict_SetItem(annotations.get(), sig.names[i], core_names.int_));
    }
    return annotations;
}

}  // namespace

void ready_function_type() {
    if (FunctionType == nullptr)
        FunctionType =
            reinterpret_cast<PyTypeObject *>(require(PyType_FromSpec(&function_spec)).release());
}

// The object is complete before anything that can fail fills it, so that
// its dealloc releases whatever was made.
Ref make_function(const Operation &op) {
    FunctionObject *f = PyObject_New(FunctionObject, FunctionType);
    if (f == nullptr)
        throw_error();
    f->vectorcall = function_vectorcall;
    f->sig = Signature{&op, 0, {}, nullptr};
    f->name = nullptr;
    f->module_name = nullptr;
    f->annotations = nullptr;
    f->generation = process.generation;
    Ref owner = Ref::steal(reinterpret_cast<PyObject *>(f));
    fill_signature(f->sig, op);
    f->name = require(PyUnicode_InternFromString(op.name)).release();
    f->module_name = global(core_names.__name__).release();
    f->annotations = make_annotations(f->sig).release();
    return owner;
}

}  // namespace zel
