// Port traffic counters: four per-port counter files kept by the kernel,
// located through the zel.zel sibling and read as unsigned 64-bit integers.
//
// A counter that cannot be read must never break the page that shows it: it
// counts as 0, and the failure is printed and handed to sys.unraisablehook so
// that it still reaches the operator.
#include <utility>

#include "frame/convert.hpp"
#include "frame/function.hpp"
#include "frame/names.hpp"
#include "frame/process.hpp"
#include "frame/siblings.hpp"
#include "port_config/port_config.hpp"
#include "zel_util/constants.hpp"

namespace zel {

namespace {

using Counter = unsigned long long;

// The counter value of a decimal integer; OverflowError outside 0..2^64-1.
// A negative value is refused before the conversion, with the module's own
// message for it rather than the interpreter's generic one.
Counter as_counter(PyObject *value) {
    if (require_status(PyObject_RichCompareBool(value, K.n_0, Py_LT))) {
        PyErr_SetString(PyExc_OverflowError,
                        "can't convert negative value to unsigned PY_LONG_LONG");
        throw_error();
    }
    const Counter counter = PyLong_AsUnsignedLongLong(value);
    if (counter == static_cast<Counter>(-1) && PyErr_Occurred())
        throw_error();
    return counter;
}

// The first line of an open counter file as an integer.
Counter parse_counter(PyObject *file) {
    Ref line = call_method(file, K.readline);
    Ref text = call_method(line.get(), K.rstrip);
    Ref value = require(PyNumber_Long(text.get()));
    return as_counter(value.get());
}

// Makes the pending exception the context of the one raised while handling
// `error`, as the interpreter does inside an except or exit block; an
// exception re-raised as it is keeps its own context, never itself.
[[noreturn]] void raise_in_context_of(Ref error) {
    Ref raised = Ref::steal(PyErr_GetRaisedException());
    if (raised.get() != error.get())
        PyException_SetContext(raised.get(), error.release());
    PyErr_SetRaisedException(raised.release());
    throw_error();
}

// Hands the pending exception to a context manager's __exit__ as a with
// statement does. True when __exit__ suppressed it; otherwise the exception
// is pending again (or the one raised meanwhile, chained to it).
bool exit_with_error(PyObject *exit) {
    Ref error = Ref::steal(PyErr_GetRaisedException());
    Ref traceback = Ref::steal(PyException_GetTraceback(error.get()));
    PyObject *type = reinterpret_cast<PyObject *>(Py_TYPE(error.get()));
    int suppressed = 0;
    try {
        Ref result = call(exit, type, error.get(), traceback ? traceback.get() : Py_None);
        suppressed = require_status(PyObject_IsTrue(result.get()));
    } catch (const PyErrorSet &) {
        raise_in_context_of(std::move(error));
    }
    if (!suppressed)
        PyErr_SetRaisedException(error.release());
    return suppressed != 0;
}

// with open(path, "r") as file: return parse_counter(file)
// A suppressed exception leaves nothing to return: the counter is 0.
Counter read_counter_file(PyObject *path) {
    Ref manager = call(P.open, path, K.mode_read);
    Ref enter = getattr(manager.get(), K.__enter__);
    Ref exit = getattr(manager.get(), K.__exit__);
    Ref file = call(enter.get());
    Counter counter = 0;
    try {
        counter = parse_counter(file.get());
    } catch (const PyErrorSet &) {
        if (exit_with_error(exit.get()))
            return 0;
        throw;
    }
    call(exit.get(), Py_None, Py_None, Py_None);
    return counter;
}

// Prints the pending exception with its traceback to standard error, then
// passes the same exception to sys.unraisablehook. Clears the error.
void report_unreadable_counter() {
    add_traceback("zel.zel_util.system_port_stat");
    Ref error = Ref::steal(PyErr_GetRaisedException());
    PyErr_SetRaisedException(Ref(error).release());
    PyErr_PrintEx(0);  // leaves sys.last_exc alone: the call carries on
    PyErr_SetRaisedException(error.release());
    PyErr_WriteUnraisable(K.system_port_stat_where);
}

// One counter of a port; never raises, an unreadable counter is 0.
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

}  // namespace

Ref make_system_port_stats() {
    return make_named_tuple(K.SystemPortStats, K.system_port_stats_fields);
}

// The counter-file names are the sibling's variables, read at each call so
// that a change there is seen.
Ref system_port_traffic(const Args &args) {
    CString name = to_bytes(args[0]);
    const Counter tx_packets = system_port_stat(name.c_str(), *S.stats_tx_packets);
    const Counter tx_bytes = system_port_stat(name.c_str(), *S.stats_tx_bytes);
    const Counter rx_packets = system_port_stat(name.c_str(), *S.stats_rx_packets);
    const Counter rx_bytes = system_port_stat(name.c_str(), *S.stats_rx_bytes);
    Ref stats_type = global(K.SystemPortStats);
    return call(stats_type.get(), to_int_unsigned(tx_packets).get(),
                to_int_unsigned(tx_bytes).get(), to_int_unsigned(rx_packets).get(),
                to_int_unsigned(rx_bytes).get());
}

}  // namespace zel
