// Reporting an error that cannot go to the caller, as the interpreter
// reports an unraisable one, without losing what interrupts the report.
//
// The interpreter's own calls for it (PyErr_DisplayException,
// PyErr_WriteUnraisable) swallow any exception raised while they run: a
// KeyboardInterrupt, or the SystemExit of a SIGTERM handler, raised while
// the traceback is written or sys.unraisablehook runs would be lost. The
// module makes the same report with calls that let such an exception out,
// and raises it once the report is done.
#pragma once

#include <Python.h>

namespace zel {

// Prints `error` with its traceback to sys.stderr as the interpreter
// displays an exception, then passes it to sys.unraisablehook with `where`
// as the object, as PyErr_WriteUnraisable does. Throws PyErrorSet with the
// first exception that is no Exception raised meanwhile; anything else
// raised meanwhile is reported or dropped as the interpreter does.
void report_unraisable(PyObject *error, PyObject *where);

}  // namespace zel
