#include "core/unraisable.hpp"

#include "core/access.hpp"
#include "core/boundary.hpp"
#include "core/calls.hpp"
#include "core/errors.hpp"
#include "core/ref.hpp"
#include "core/strings.hpp"

namespace zel {

namespace {

// What interrupts the report: the first exception raised meanwhile that is
// no Exception, kept to be raised once the report is done.
class Interruption {
  public:
    // With an error pending: takes it off. An interruption is kept (the
    // first one) and gives nothing back; any other error is given back for
    // the caller to report or drop.
    Ref absorb() {
        const bool interrupts = !PyErr_ExceptionMatches(PyExc_Exception);
        Ref error = Ref::steal(PyErr_GetRaisedException());
        if (!interrupts)
            return error;
        if (!kept_)
            kept_ = std::move(error);
        return Ref();
    }

    void raise_kept() {
        if (!kept_)
            return;
        PyErr_SetRaisedException(kept_.release());
        throw_error();
    }

  private:
    Ref kept_;
};

// The traceback module's function that writes the interpreter's display of
// an exception to sys.stderr. 3.13's PyErr_DisplayException calls this very
// function; 3.12's writes the same text in C, which print_exception gives.
#if PY_VERSION_HEX >= 0x030D0000
constexpr const char *kDisplayFunction = "_print_exception_bltin";
#else
constexpr const char *kDisplayFunction = "print_exception";
#endif

// The interpreter's display of `error` on sys.stderr. Without a sys.stderr,
// or when the traceback module fails, PyErr_DisplayException writes it (and
// what it swallows is then lost).
void display(PyObject *error, Interruption &interruption) {
    PyObject *stderr_file = PySys_GetObject("stderr");
    if (stderr_file != nullptr && stderr_file != Py_None) {
        try {
            Ref traceback = require(PyImport_ImportModule("traceback"));
            call(require(PyObject_GetAttrString(traceback.get(), kDisplayFunction)).get(), error);
            return;
        } catch (const PyErrorSet &) {
            if (!interruption.absorb())
                return;
        }
    }
    PyErr_DisplayException(error);
}

// The interpreter's UnraisableHookArgs type, which has no public name. It is
// taken once from the object the interpreter hands to sys.unraisablehook,
// for one report made for the purpose with the hook pointed at a catcher,
// which passes any other report on to the hook it stands in for.
struct HookArgsCatch {
    PyObject *type = nullptr;  // kept for the life of the process
    PyObject *mark = nullptr;  // the object of the report made for the purpose
    PyObject *hook = nullptr;  // the hook the catcher stands in for
};
HookArgsCatch &hook_args = *new HookArgsCatch;

PyObject *catch_hook_args(PyObject *, PyObject *args) {
    return at_boundary([&] {
        Ref object = getattr(args, core_names.object);
        if (object.get() == hook_args.mark) {
            hook_args.type = Py_NewRef(reinterpret_cast<PyObject *>(Py_TYPE(args)));
            return Py_NewRef(Py_None);
        }
        PyObject *hook = hook_args.hook;
        if (hook == nullptr || hook == Py_None)
            hook = PySys_GetObject("__unraisablehook__");
        if (hook == nullptr)
            raise_error(PyExc_RuntimeError, "lost sys.__unraisablehook__");
        return call(hook, args).release();
    });
}

PyMethodDef catch_hook_args_def = {"catch_hook_args", catch_hook_args, METH_O, nullptr};

// The type, or NULL when it could not be taken.
PyObject *unraisable_hook_args_type() {
    if (hook_args.type != nullptr)
        return hook_args.type;
    Ref catcher = require(PyCFunction_New(&catch_hook_args_def, nullptr));
    Ref mark = require(PyObject_CallNoArgs(reinterpret_cast<PyObject *>(&PyBaseObject_Type)));
    Ref hook = Ref::borrow(PySys_GetObject("unraisablehook"));
    require_status(PySys_SetObject("unraisablehook", catcher.get()));
    hook_args.mark = mark.get();
    hook_args.hook = hook.get();
    PyErr_SetNone(PyExc_Exception);
    PyErr_WriteUnraisable(mark.get());
    hook_args.mark = hook_args.hook = nullptr;
    // Put back unless something else was set meanwhile (NULL: none).
    if (PySys_GetObject("unraisablehook") == catcher.get())
        require_status(PySys_SetObject("unraisablehook", hook.get()));
    return hook_args.type;
}

// UnraisableHookArgs(exc_type, exc_value, exc_traceback, err_msg, object).
Ref hook_args_of(PyObject *type, PyObject *error, PyObject *err_msg, PyObject *object) {
    Ref traceback = Ref::steal(PyException_GetTraceback(error));
    Ref fields = require(PyTuple_Pack(5, reinterpret_cast<PyObject *>(Py_TYPE(error)), error,
                                      traceback ? traceback.get() : Py_None, err_msg, object));
    return call(type, fields.get());
}

// As the interpreter reports a failure of the hook itself (or of an audit
// hook): through the default hook, with `message` and `object`.
void report_hook_failure(PyObject *type, PyObject *failure, const char *message, PyObject *object,
                         Interruption &interruption) {
    try {
        PyObject *default_hook = PySys_GetObject("__unraisablehook__");
        if (default_hook == nullptr)
            return;
        Ref text = require(PyUnicode_FromString(message));
        call(default_hook, hook_args_of(type, failure, text.get(), object).get());
    } catch (const PyErrorSet &) {
        interruption.absorb();
    }
}

// sys.unraisablehook(UnraisableHookArgs(...)), as PyErr_WriteUnraisable
// calls it: after the audit event, the default hook when none is set.
void pass_to_hook(PyObject *error, PyObject *where, Interruption &interruption) {
    PyObject *type = nullptr;
    try {
        type = unraisable_hook_args_type();
    } catch (const PyErrorSet &) {
        interruption.absorb();
    }
    if (type == nullptr) {
        PyErr_SetRaisedException(Py_NewRef(error));
        PyErr_WriteUnraisable(where);
        return;
    }
    Ref hook = Ref::borrow(PySys_GetObject("unraisablehook"));
    if (!hook || hook.get() == Py_None)
        hook = Ref::borrow(PySys_GetObject("__unraisablehook__"));
    try {
        Ref args = hook_args_of(type, error, Py_None, where);
        if (PySys_Audit("sys.unraisablehook", "OO", hook ? hook.get() : Py_None, args.get()) < 0) {
            if (Ref failure = interruption.absorb())
                report_hook_failure(type, failure.get(), "Exception ignored in audit hook", Py_None,
                                    interruption);
            return;
        }
        if (!hook)
            return;
        call(hook.get(), args.get());
    } catch (const PyErrorSet &) {
        if (Ref failure = interruption.absorb())
            report_hook_failure(type, failure.get(), "Exception ignored in sys.unraisablehook",
                                hook.get(), interruption);
    }
}

}  // namespace

void report_unraisable(PyObject *error, PyObject *where) {
    Interruption interruption;
    display(error, interruption);
    pass_to_hook(error, where, interruption);
    interruption.raise_kept();
}

}  // namespace zel
