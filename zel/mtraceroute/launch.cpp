// The multicast traceroute launch, and the public table of traceroute
// defaults and limits.
#include "core/access.hpp"
#include "core/bounded_copy.hpp"
#include "core/calls.hpp"
#include "core/convert.hpp"
#include "core/errors.hpp"
#include "core/module_namespace.hpp"
#include "core/operation.hpp"
#include "core/strings.hpp"
#include "core/text_conversion.hpp"
#include "core/unlocked.hpp"
#include "mtraceroute/builtins.hpp"
#include "mtraceroute/strings.hpp"
#include "platform/platform.h"

namespace zel {

namespace {

// Room of each text handed to api_mtraceroute, terminator included.
constexpr size_t kTextRoom = 128;

struct Setting {
    PyObject *const *name;
    long value;
};

// In class-body order; max_probes shares timeout's value and so becomes an
// alias of it.
const Setting kSettings[] = {
    {&traceroute_names.ttl, 32},       {&traceroute_names.probes, 3},
    {&traceroute_names.timeout, 5},    {&traceroute_names.max_ttl, 64},
    {&traceroute_names.max_probes, 5}, {&traceroute_names.max_timeout, 10},
};

// The two text buffers of one launch: allocated destination first and freed
// in the same order on every exit. They are read by the platform while the
// interpreter lock is released, and a thread ended at interpreter exit while
// the platform has them unwinds without the lock: so they come from the raw
// allocator, which needs no lock.
class LaunchBuffers {
  public:
    LaunchBuffers() : dst_(allocate()) {
        r_file_ = static_cast<char *>(PyMem_RawMalloc(kTextRoom));
        if (r_file_ == nullptr) {
            PyMem_RawFree(dst_);  // the destructor does not run for a failed constructor
            PyErr_NoMemory();
            throw_error();
        }
    }
    ~LaunchBuffers() {
        PyMem_RawFree(dst_);
        PyMem_RawFree(r_file_);
    }
    LaunchBuffers(const LaunchBuffers &) = delete;
    LaunchBuffers &operator=(const LaunchBuffers &) = delete;

    char *dst() const { return dst_; }
    char *r_file() const { return r_file_; }

  private:
    static char *allocate() {
        char *room = static_cast<char *>(PyMem_RawMalloc(kTextRoom));
        if (room == nullptr) {
            PyErr_NoMemory();
            throw_error();
        }
        return room;
    }

    char *dst_;
    char *r_file_ = nullptr;
};

// bytes_(value, _CHARSET) copied into a launch buffer. Longer text is cut to
// the room's last byte, so the platform always gets terminated text.
void copy_encoded(char *room, PyObject *value) {
    CString text = to_bytes_in_charset(value);
    copy_text(room, kTextRoom, text.c_str());
}

// An int returned by __int__: exactly int, or a subclass accepted with a
// DeprecationWarning; anything else is refused.
Ref checked_int_result(Ref result) {
    PyObject *value = result.get();
    if (PyLong_CheckExact(value))
        return result;
    const char *type_name = Py_TYPE(value)->tp_name;
    if (!PyLong_Check(value)) {
        raise_error(PyExc_TypeError, "__%.4s__ returned non-%.4s (type %.200s)", "int", "int",
                    type_name);
    }
    require_status(PyErr_WarnFormat(PyExc_DeprecationWarning, 1,
                                    "__int__ returned non-int (type %.200s).  The ability to "
                                    "return an instance of a strict subclass of int is "
                                    "deprecated, and may be removed in a future version of "
                                    "Python.",
                                    type_name));
    return result;
}

// A C int from any object with an integer conversion: ints (bool included)
// directly, others through their type's __int__ (a float is truncated).
int integral_as_c_int(PyObject *value) {
    if (PyLong_Check(value))
        return as_c_int(value);
    PyNumberMethods *number = Py_TYPE(value)->tp_as_number;
    PyObject *converted =
        number != nullptr && number->nb_int != nullptr ? number->nb_int(value) : nullptr;
    if (converted == nullptr) {
        if (!PyErr_Occurred())
            raise_error(PyExc_TypeError, "an integer is required");
        throw_error();
    }
    Ref result = checked_int_result(Ref::steal(converted));
    return as_c_int(result.get());
}

// class TraceRouteSettings(IntEnum): built as a class statement builds it,
// through the metaclass of the base and the namespace its __prepare__ gives.
Ref make_trace_route_settings() {
    Ref base = global(traceroute_names.IntEnum);
    Ref bases = require(PyTuple_Pack(1, base.get()));
    PyObject *metaclass = reinterpret_cast<PyObject *>(Py_TYPE(base.get()));
    Ref body = call_method(metaclass, traceroute_names.__prepare__,
                           traceroute_names.TraceRouteSettings, bases.get());
    setitem(body.get(), core_names.__module__, global(core_names.__name__).get());
    setitem(body.get(), traceroute_names.__qualname__, traceroute_names.TraceRouteSettings);
    for (const Setting &setting : kSettings)
        setitem(body.get(), *setting.name, to_int(setting.value).get());
    return call(metaclass, traceroute_names.TraceRouteSettings, bases.get(), body.get());
}

}  // namespace

ZEL_MODULE_OBJECT(TraceRouteSettings, make_trace_route_settings);

Ref exec_mtraceroute(PyObject *r_file, PyObject *dst, PyObject *confidence_arg,
                     PyObject *flow_id_arg, PyObject *max_ttl_arg) {
    if (!require_status(PyObject_IsTrue(r_file))) {
        Ref error = call(traceroute_builtins.value_error, traceroute_names.r_file_is_empty);
        raise_object(error.get());
    }
    const int confidence = as_c_int(confidence_arg);
    const int flow_id = integral_as_c_int(flow_id_arg);
    const int max_ttl = as_c_int(max_ttl_arg);
    int result;
    {
        LaunchBuffers buffers;
        copy_encoded(buffers.dst(), dst);
        copy_encoded(buffers.r_file(), r_file);
        result = without_interpreter_lock([&] {
            return api_mtraceroute(buffers.dst(), confidence, flow_id, max_ttl, buffers.r_file());
        });
    }
    return to_int(result);
}
ZEL_OPERATION(exec_mtraceroute, param("r_file"), param("dst"),
              param("confidence", default_int(90), Accepts::exact_int),
              param("flow_id", default_int(5)),
              param("max_ttl", default_int(30), Accepts::exact_int));

}  // namespace zel
