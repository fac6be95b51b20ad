// Port traffic counters: four per-port counter files kept by the kernel,
// located through the zel.zel sibling and read as unsigned 64-bit integers.
//
// A counter that cannot be read must never break the page that shows it: it
// counts as 0, and the failure is printed and handed to sys.unraisablehook so
// that it still reaches the operator. Only errors are handled so: a
// KeyboardInterrupt or SystemExit raised while a counter is read goes on to
// the caller.
#include <string>
#include <utility>

#include "core/boundary.hpp"
#include "core/calls.hpp"
#include "core/convert.hpp"
#include "core/except_and_with.hpp"
#include "core/module_namespace.hpp"
#include "core/named_tuples.hpp"
#include "core/operation.hpp"
#include "core/process.hpp"
#include "core/siblings.hpp"
#include "core/text_conversion.hpp"
#include "port_config/strings.hpp"

namespace zel {

namespace {

using Counter = unsigned long long;

// The counter value of a decimal integer; OverflowError outside 0..2^64-1.
// A negative value is refused before the conversion, with the module's own
// message for it rather than the interpreter's generic one.
Counter as_counter(PyObject *value) {
    if (require_status(PyObject_RichCompareBool(value, PC.zero, Py_LT))) {
        PyErr_SetString(PyExc_OverflowError,
                        "can't convert negative value to unsigned PY_LONG_LONG");
        throw_error();
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
    Ref line = call_method(file, PC.readline, to_int(kCounterLineRoom + 1).get());
    if (PyUnicode_Check(line.get()) && PyUnicode_GET_LENGTH(line.get()) > kCounterLineRoom) {
        PyErr_Format(PyExc_ValueError, "counter file line longer than %zd characters",
                     kCounterLineRoom);
        throw_error();
    }
    return line;
}

// The first line of an open counter file as an integer.
Counter parse_counter(PyObject *file) {
    Ref line = read_counter_line(file);
    Ref text = call_method(line.get(), PC.rstrip);
    Ref value = require(PyNumber_Long(text.get()));
    return as_counter(value.get());
}

// with open(path, "r") as file: return parse_counter(file)
// A suppressed exception leaves nothing to return: the counter is 0.
Counter read_counter_file(PyObject *path) {
    Ref file = call(P.open, path, PC.mode_read);
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
// thrown on.
void report_unreadable_counter() {
    add_traceback("zel.zel_util.system_port_stat");
    if (!PyErr_ExceptionMatches(PyExc_Exception))
        throw_error();
    Ref error = Ref::steal(PyErr_GetRaisedException());
    PyErr_DisplayException(error.get());
    PyErr_SetRaisedException(error.release());
    PyErr_WriteUnraisable(PC.system_port_stat_where);
}

// One counter of a port; an unreadable counter is 0, reported. Raises only
// what is not an error (see report_unreadable_counter).
Counter system_port_stat(const char *name, char *stat) {
    try {
        // The path lives in the sibling's buffer: copy it before anything else.
        const char *path = S.system_port_stat_path(const_cast<char *>(name), stat);
        if (path == nullptr) {
            PyErr_SetString(PyExc_SystemError, "system_port_stat_path() returned no path");
            throw_error();
        }
        Ref path_bytes = require(PyBytes_FromString(path));
        return read_counter_file(path_bytes.get());
    } catch (const PyErrorSet &) {
        report_unreadable_counter();
        return 0;
    }
}

Ref make_system_port_stats() {
    return make_named_tuple(PC.SystemPortStats, PC.system_port_stats_fields);
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
    const Counter tx_packets = system_port_stat(name.c_str(), *S.stats_tx_packets);
    const Counter tx_bytes = system_port_stat(name.c_str(), *S.stats_tx_bytes);
    const Counter rx_packets = system_port_stat(name.c_str(), *S.stats_rx_packets);
    const Counter rx_bytes = system_port_stat(name.c_str(), *S.stats_rx_bytes);
    Ref stats_type = global(PC.SystemPortStats);
    return new_named_tuple(stats_type.get(), to_int_unsigned(tx_packets).get(),
                           to_int_unsigned(tx_bytes).get(), to_int_unsigned(rx_packets).get(),
                           to_int_unsigned(rx_bytes).get());
}
ZEL_OPERATION(system_port_traffic, param("name"));

}  // namespace zel
