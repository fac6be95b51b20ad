// Port traffic counters: four per-port counter files kept by the kernel,
// located through the zel.zel sibling and read as unsigned 64-bit integers.
//
// A counter that cannot be read must never break the page that shows it: it
// counts as 0, and the failure is printed and handed to sys.unraisablehook so
// that it still reaches the operator. Only errors are handled so: a
// KeyboardInterrupt or SystemExit raised while a counter is read goes on to
// the caller.
//
// The counter path is built from outside input, so it is held to its tree:
// a port name with a "." or ".." component is refused before anything is
// opened, and a counter path that is no regular file (a FIFO would block
// open() for good) is refused without being waited on. Both are unreadable
// counters like any other.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>
#include <utility>

#include "core/boundary.hpp"
#include "core/calls.hpp"
#include "core/convert.hpp"
#include "core/errors.hpp"
#include "core/except_and_with.hpp"
#include "core/module_namespace.hpp"
#include "core/named_tuples.hpp"
#include "core/operation.hpp"
#include "core/text_conversion.hpp"
#include "core/unlocked.hpp"
#include "core/unraisable.hpp"
#include "ports/imports.hpp"
#include "ports/strings.hpp"

namespace zel {

namespace {

using Counter = unsigned long long;

// The counter value of a decimal integer; OverflowError outside 0..2^64-1.
// A negative value is refused before the conversion, with the module's own
// message for it rather than the interpreter's generic one.
Counter as_counter(PyObject *value) {
    if (require_status(PyObject_RichCompareBool(value, port_names.zero, Py_LT))) {
        raise_error(PyExc_OverflowError, "can't convert negative value to unsigned PY_LONG_LONG");
    }
    const Counter counter = PyLong_AsUnsignedLongLong(value);
    if (counter == static_cast<Counter>(-1) && PyErr_Occurred())
        throw_error();
    return counter;
}

// Room of a counter line, its newline included: a 64-bit counter has at most
// 20 digits, so 64 characters leave ample room for a sign and blanks.
constexpr Py_ssize_t kCounterLineRoom = 64;

// The first line of an open counter file, read with readline(65): at most
// one character more than the room, so that a longer line (a counter path
// leading to /dev/zero, say) is refused without reading on.
Ref read_counter_line(PyObject *file) {
    Ref line = call_method(file, port_names.readline, to_int(kCounterLineRoom + 1).get());
    if (PyUnicode_Check(line.get()) && PyUnicode_GET_LENGTH(line.get()) > kCounterLineRoom) {
        raise_error(PyExc_ValueError, "counter file line longer than %zd characters",
                    kCounterLineRoom);
    }
    return line;
}

// The first line of an open counter file as an integer.
Counter parse_counter(PyObject *file) {
    Ref line = read_counter_line(file);
    Ref text = call_method(line.get(), port_names.rstrip);
    Ref value = require(PyNumber_Long(text.get()));
    return as_counter(value.get());
}

// open(2) without waiting, retried when a signal interrupts it (its
// handlers run first, as the built-in open does); -1 with errno set.
int open_without_waiting(const char *path, int flags) {
    while (true) {
        const auto [fd, error] = call_unlocked([&] {
            const int opened = ::open(path, flags | O_NONBLOCK);
            return std::pair{opened, errno};
        });
        if (fd >= 0 || error != EINTR) {
            errno = error;
            return fd;
        }
        handle_pending_signals();
    }
}

// Closes fd, then raises OSError for `error` and the path, as the built-in
// open does for a failed open.
[[noreturn]] void close_and_raise(int fd, int error, PyObject *path) {
    if (fd >= 0)
        ::close(fd);
    errno = error;
    PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, path);
    throw_error();
}

// The opener of a counter file, opener(path, flags) for the built-in open:
// the descriptor of a regular file. Anything else is closed and refused at
// once, a directory with the interpreter's own IsADirectoryError. O_NONBLOCK
// stays set: it changes nothing for a regular file.
int open_regular_file(PyObject *path, int flags) {
    Ref encoded;
    {
        PyObject *converted = nullptr;
        if (PyUnicode_FSConverter(path, &converted) == 0)
            throw_error();
        encoded = Ref::steal(converted);
    }
    const int fd = open_without_waiting(PyBytes_AS_STRING(encoded.get()), flags);
    if (fd < 0)
        close_and_raise(fd, errno, path);
    struct stat status;
    if (::fstat(fd, &status) != 0)
        close_and_raise(fd, errno, path);
    if (S_ISDIR(status.st_mode))
        close_and_raise(fd, EISDIR, path);
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        raise_error(PyExc_OSError, "counter file is not a regular file: %R", path);
    }
    return fd;
}

PyObject *counter_file_opener(PyObject *, PyObject *args) {
    return at_boundary([&] {
        PyObject *path = nullptr;
        int flags = 0;
        if (!PyArg_ParseTuple(args, "Oi:counter_file_opener", &path, &flags))
            throw_error();
        return require(PyLong_FromLong(open_regular_file(path, flags))).release();
    });
}

PyMethodDef counter_file_opener_def = {"counter_file_opener", counter_file_opener, METH_VARARGS,
                                       nullptr};

// open(path, "r", opener=counter_file_opener)
Ref open_counter_file(PyObject *path) {
    Ref opener = require(PyCFunction_New(&counter_file_opener_def, nullptr));
    Ref kwnames = require(PyTuple_Pack(1, port_names.opener));
    PyObject *args[] = {nullptr, path, port_names.mode_read, opener.get()};
    return require(PyObject_Vectorcall(port_imports.open, args + 1,
                                       2 | PY_VECTORCALL_ARGUMENTS_OFFSET, kwnames.get()));
}

// with open(path, "r", opener=...) as file: return parse_counter(file)
// A suppressed exception leaves nothing to return: the counter is 0.
Counter read_counter_file(PyObject *path) {
    Ref file = open_counter_file(path);
    Counter counter = 0;
    with_block(file.get(), [&](PyObject *opened) { counter = parse_counter(opened); });
    return counter;
}

// With the error of a counter read pending: prints it with its traceback to
// standard error, then passes the same exception to sys.unraisablehook, and
// clears it. The text is the interpreter's own display, written directly:
// sys.excepthook is not involved, so a back-end's fatal hook cannot end the
// process here, and sys.last_exc stays alone. A BaseException that is not an
// Exception (KeyboardInterrupt, SystemExit) is no unreadable counter: it is
// thrown on, and so is one that interrupts the report (core/unraisable.hpp),
// once the report is done.
void report_unreadable_counter() {
    add_traceback("zel.zel_util.system_port_stat");
    if (!PyErr_ExceptionMatches(PyExc_Exception))
        throw_error();
    Ref error = Ref::steal(PyErr_GetRaisedException());
    report_unraisable(error.get(), port_names.system_port_stat_where);
}

// Whether the port name has a "." or ".." path component, with which its
// counter path would leave the port's own directory.
bool leaves_its_directory(std::string_view name) {
    while (true) {
        const size_t slash = name.find('/');
        const std::string_view component = name.substr(0, slash);
        if (component == "." || component == "..")
            return true;
        if (slash == std::string_view::npos)
            return false;
        name.remove_prefix(slash + 1);
    }
}

void require_port_name_in_tree(const std::string &name) {
    if (!leaves_its_directory(name))
        return;
    Ref bytes =
        require(PyBytes_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size())));
    raise_error(PyExc_ValueError, "port name %R has a \".\" or \"..\" path component", bytes.get());
}

// One counter of a port; an unreadable counter is 0, reported. Raises only
// what is not an error (see report_unreadable_counter).
Counter system_port_stat(const std::string &name, char *stat) {
    try {
        require_port_name_in_tree(name);
        // The path lives in the sibling's buffer: copy it before anything else.
        const char *path =
            port_imports.system_port_stat_path(const_cast<char *>(name.c_str()), stat);
        if (path == nullptr) {
            raise_error(PyExc_SystemError, "system_port_stat_path() returned no path");
        }
        Ref path_bytes = require(PyBytes_FromString(path));
        return read_counter_file(path_bytes.get());
    } catch (const PyErrorSet &) {
        report_unreadable_counter();
        return 0;
    }
}

Ref make_system_port_stats() {
    return make_named_tuple(port_names.SystemPortStats, port_names.system_port_stats_fields);
}

}  // namespace

ZEL_MODULE_OBJECT(SystemPortStats, make_system_port_stats);

// The counter-file names are the sibling's variables, read at each call so
// that a change there is seen. The name is copied once, as it is passed:
// Python code runs between the counters (the error report, the hooks, open
// letting other threads run), and may resize a bytearray name and free the
// buffer the conversion gave.
Ref system_port_traffic(PyObject *port) {
    const std::string name = to_bytes(port).c_str();
    const Counter tx_packets = system_port_stat(name, *port_imports.stats_tx_packets);
    const Counter tx_bytes = system_port_stat(name, *port_imports.stats_tx_bytes);
    const Counter rx_packets = system_port_stat(name, *port_imports.stats_rx_packets);
    const Counter rx_bytes = system_port_stat(name, *port_imports.stats_rx_bytes);
    Ref stats_type = global(port_names.SystemPortStats);
    ShortcutScope scope;
    return new_named_tuple(scope, stats_type.get(), to_int_unsigned(tx_packets).get(),
                           to_int_unsigned(tx_bytes).get(), to_int_unsigned(rx_packets).get(),
                           to_int_unsigned(rx_bytes).get());
}
ZEL_OPERATION(system_port_traffic, param("name"));

}  // namespace zel
