#include "core/boundary.hpp"

#include <frameobject.h>

#include <exception>
#include <new>

#include "core/ref.hpp"

namespace zel {

void set_error_for_caught(const char *traceback) {
    try {
        throw;
    } catch (const PyErrorSet &) {
    } catch (const std::bad_alloc &) {
        PyErr_NoMemory();
    } catch (const std::exception &error) {
        PyErr_Format(PyExc_SystemError, "unexpected C++ exception: %s", error.what());
    } catch (...) {
        PyErr_SetString(PyExc_SystemError, "unexpected C++ exception");
    }
    if (!PyErr_Occurred())
        PyErr_SetString(PyExc_SystemError, "error return without exception set");
    if (traceback != nullptr)
        add_traceback(traceback);
}

// The entry is a frame of an empty code object named `name`, in the file
// "zel/zel_util" at line 0. Making it must not disturb the pending
// exception: when making it fails, the exception goes on without the entry.
void add_traceback(const char *name) {
    Ref pending = Ref::steal(PyErr_GetRaisedException());
    Ref code = Ref::steal(reinterpret_cast<PyObject *>(PyCode_NewEmpty("zel/zel_util", name, 0)));
    Ref globals = code ? Ref::steal(PyDict_New()) : Ref();
    Ref frame = globals ? Ref::steal(reinterpret_cast<PyObject *>(PyFrame_New(
                              PyThreadState_Get(), reinterpret_cast<PyCodeObject *>(code.get()),
                              globals.get(), nullptr)))
                        : Ref();
    PyErr_Clear();
    PyErr_SetRaisedException(pending.release());
    if (frame)
        PyTraceBack_Here(reinterpret_cast<PyFrameObject *>(frame.get()));
}

}  // namespace zel
