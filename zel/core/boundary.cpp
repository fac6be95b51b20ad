#include "core/boundary.hpp"

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

void add_traceback(const char *name) {
    _PyTraceback_Add(name, "zel/zel_util", 0);
}

}  // namespace zel
