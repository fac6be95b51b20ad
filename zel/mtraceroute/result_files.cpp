// Result files of multicast traceroutes: "/tmp/mtraceroute_<n>", n from 0 to
// 999, each reserved by exactly one caller.
//
// A number is taken when its path cannot be created exclusively (any entry
// there, symbolic links included, which O_EXCL never follows) or when someone
// else holds a lock on the fresh file. Every name is reached through the
// module-level `os` and `fcntl`, looked up at each use, so that the back-end
// (and the tests) can put a replacement in their place.
#include "core/access.hpp"
#include "core/calls.hpp"
#include "core/except_and_with.hpp"
#include "core/module_namespace.hpp"
#include "core/operation.hpp"
#include "core/strings.hpp"
#include "mtraceroute/strings.hpp"

namespace zel {

namespace {

constexpr long kResultFiles = 1000;

Ref attribute_of(PyObject *module_name, PyObject *name) {
    return getattr(global(module_name).get(), name);
}

Ref bitwise_or(const Ref &left, const Ref &right) {
    return require(PyNumber_Or(left.get(), right.get()));
}

// os.open(path, os.O_CREAT | os.O_EXCL | os.O_RDWR): FileExistsError for any
// existing entry, without following a symbolic link.
Ref create_exclusively(PyObject *path) {
    Ref open = attribute_of(traceroute_names.os, core_names.open);
    Ref flags = bitwise_or(attribute_of(traceroute_names.os, traceroute_names.O_CREAT),
                           attribute_of(traceroute_names.os, traceroute_names.O_EXCL));
    flags = bitwise_or(flags, attribute_of(traceroute_names.os, traceroute_names.O_RDWR));
    return call(open.get(), path, flags.get());
}

// fcntl.flock(file, fcntl.LOCK_EX | fcntl.LOCK_NB): BlockingIOError at once
// when another party holds a lock on the file.
void lock_without_waiting(PyObject *file) {
    Ref flock = attribute_of(traceroute_names.fcntl, traceroute_names.flock);
    Ref flags = bitwise_or(attribute_of(traceroute_names.fcntl, traceroute_names.LOCK_EX),
                           attribute_of(traceroute_names.fcntl, traceroute_names.LOCK_NB));
    call(flock.get(), file, flags.get());
}

// os.fdopen(fd, "w"). The descriptor is handed over with the call: from then
// on it belongs to what fdopen makes of it. When fdopen raises, the module
// cannot tell whether a file object took it first: an exception arriving
// just as fdopen returns (a signal handler raising, a trace function) frees
// the file object made of it, which closes the descriptor, at once or when
// the error is dropped, and by then the number may be another file's. So
// the module never closes it after the call; before it, while looking
// fdopen up, the descriptor is still the module's, and a failure closes it
// (os.close) before its error goes on.
Ref open_descriptor(PyObject *fd) {
    Ref fdopen;
    try {
        fdopen = attribute_of(traceroute_names.os, traceroute_names.fdopen);
    } catch (const PyErrorSet &) {
        CaughtError caught;
        call(attribute_of(traceroute_names.os, traceroute_names.close).get(), fd);
        caught.reraise();
    }
    return call(fdopen.get(), fd, traceroute_names.write_mode);
}

// Creates the candidate's file and locks it once; closing the file at the
// end of the with block drops the lock and leaves the file, empty, behind.
void reserve(PyObject *number) {
    Ref path = require(PyUnicode_Concat(traceroute_names.file_prefix, number));
    Ref fd = create_exclusively(path.get());
    Ref file = open_descriptor(fd.get());
    with_block(file.get(), lock_without_waiting);
}

// With the error of a failed reservation pending: drops it when it only says
// that the number is taken; any other error goes on to the caller at once.
void pass_over_taken_number() {
    CaughtError caught;
    Ref exists = global(traceroute_names.FileExistsError);
    Ref blocking = global(traceroute_names.BlockingIOError);
    Ref taken = require(PyTuple_Pack(2, exists.get(), blocking.get()));
    if (!caught.matches(taken.get()))
        caught.reraise();
}

}  // namespace

Ref get_safe_r_file() {
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
ZEL_OPERATION(get_safe_r_file);

}  // namespace zel
