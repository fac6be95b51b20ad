// Result files of multicast traceroutes: "/tmp/mtraceroute_<n>", n from 0 to
// 999, each reserved by exactly one caller.
//
// A number is taken when its path cannot be created exclusively (any entry
// there, symbolic links included, which O_EXCL never follows) or when someone
// else holds a lock on the fresh file. Every name is reached through the
// module-level `os` and `fcntl`, looked up at each use, so that the back-end
// (and the tests) can put a replacement in their place.
#include "frame/names.hpp"
#include "mtraceroute/mtraceroute.hpp"
#include "zel_util/constants.hpp"

namespace zel {

namespace {

constexpr long kResultFiles = 1000;

// The exception of a failed step, taken off the error indicator and marked as
// the one being handled, as an except clause does: an error raised meanwhile
// gets it as its context.
class CaughtError {
  public:
    CaughtError()
        : error_(Ref::steal(PyErr_GetRaisedException())),
          previous_(Ref::steal(PyErr_GetHandledException())) {
        PyErr_SetHandledException(error_.get());
    }
    ~CaughtError() { PyErr_SetHandledException(previous_.get()); }
    CaughtError(const CaughtError &) = delete;
    CaughtError &operator=(const CaughtError &) = delete;

    PyObject *get() const { return error_.get(); }

    [[noreturn]] void reraise() {
        PyErr_SetRaisedException(error_.release());
        throw_error();
    }

  private:
    Ref error_;
    Ref previous_;
};

Ref attribute_of(PyObject *module_name, PyObject *name) {
    return getattr(global(module_name).get(), name);
}

Ref bitwise_or(const Ref &left, const Ref &right) {
    return require(PyNumber_Or(left.get(), right.get()));
}

// A special method bound to `obj`, looked up on its type as the with
// statement does.
Ref special_method(PyObject *obj, PyObject *name, const char *missing) {
    PyObject *method = _PyType_Lookup(Py_TYPE(obj), name);
    if (method == nullptr) {
        PyErr_Format(PyExc_TypeError, missing, Py_TYPE(obj)->tp_name);
        throw_error();
    }
    descrgetfunc bind = Py_TYPE(method)->tp_descr_get;
    if (bind == nullptr)
        return Ref::borrow(method);
    return require(bind(method, obj, reinterpret_cast<PyObject *>(Py_TYPE(obj))));
}

// The exit of a with block left by an exception: __exit__ sees the exception,
// which goes on unless __exit__ answers true.
void exit_with_error(PyObject *exit) {
    CaughtError caught;
    PyObject *error = caught.get();
    Ref traceback = Ref::steal(PyException_GetTraceback(error));
    PyObject *type = reinterpret_cast<PyObject *>(Py_TYPE(error));
    Ref suppress = call(exit, type, error, traceback ? traceback.get() : Py_None);
    if (!require_status(PyObject_IsTrue(suppress.get())))
        caught.reraise();
}

// with manager as value: body(value)
template <typename Body>
void with_block(PyObject *manager, Body body) {
    Ref enter = special_method(manager, K.tr_enter,
                               "'%.200s' object does not support the context manager protocol");
    Ref exit = special_method(
        manager, K.tr_exit,
        "'%.200s' object does not support the context manager protocol (missed __exit__ method)");
    Ref value = call(enter.get());
    try {
        body(value.get());
    } catch (const PyErrorSet &) {
        exit_with_error(exit.get());
        return;
    }
    call(exit.get(), Py_None, Py_None, Py_None);
}

// os.open(path, os.O_CREAT | os.O_EXCL | os.O_RDWR): FileExistsError for any
// existing entry, without following a symbolic link.
Ref create_exclusively(PyObject *path) {
    Ref open = attribute_of(K.os, K.open);
    Ref flags = bitwise_or(attribute_of(K.os, K.tr_O_CREAT), attribute_of(K.os, K.tr_O_EXCL));
    flags = bitwise_or(flags, attribute_of(K.os, K.tr_O_RDWR));
    return call(open.get(), path, flags.get());
}

// fcntl.flock(file, fcntl.LOCK_EX | fcntl.LOCK_NB): BlockingIOError at once
// when another party holds a lock on the file.
void lock_without_waiting(PyObject *file) {
    Ref flock = attribute_of(K.fcntl, K.tr_flock);
    Ref flags =
        bitwise_or(attribute_of(K.fcntl, K.tr_LOCK_EX), attribute_of(K.fcntl, K.tr_LOCK_NB));
    call(flock.get(), file, flags.get());
}

// Creates the candidate's file and locks it once; closing the file at the
// end of the with block drops the lock and leaves the file, empty, behind.
void reserve(PyObject *number) {
    Ref path = require(PyUnicode_Concat(K.tr_file_prefix, number));
    Ref fd = create_exclusively(path.get());
    Ref fdopen = attribute_of(K.os, K.tr_fdopen);
    Ref file = call(fdopen.get(), fd.get(), K.tr_write_mode);
    with_block(file.get(), lock_without_waiting);
}

// With the error of a failed reservation pending: drops it when it only says
// that the number is taken; any other error goes on to the caller at once.
void pass_over_taken_number() {
    CaughtError caught;
    Ref exists = global(K.tr_FileExistsError);
    Ref blocking = global(K.tr_BlockingIOError);
    Ref taken = require(PyTuple_Pack(2, exists.get(), blocking.get()));
    if (!PyErr_GivenExceptionMatches(caught.get(), taken.get()))
        caught.reraise();
}

}  // namespace

Ref get_safe_r_file(const Args &) {
    for (long i = 0; i < kResultFiles; ++i) {
        Ref number = require(PyUnicode_FromFormat("%ld", i));
        try {
            reserve(number.get());
            return number;
        } catch (const PyErrorSet &) {
            pass_over_taken_number();
        }
    }
    return Ref::borrow(Py_None);
}

}  // namespace zel
