// The traceroute query: one trace context walked hop by hop, each hop written
// into the caller's mapping as soon as it is known, so that another thread
// holding the mapping can show the trace while it runs.
#include <cstring>
#include <memory>

#include "frame/convert.hpp"
#include "frame/names.hpp"
#include "frame/process.hpp"
#include "frame/record.hpp"
#include "frame/siblings.hpp"
#include "mtraceroute/mtraceroute.hpp"
#include "mtraceroute/time_text.hpp"
#include "platform/platform.h"
#include "zel_util/constants.hpp"

namespace zel {

namespace {

constexpr int kHostRoom = 64;

// Probe status values of trace_route_probe_info.
constexpr int32_t kReplied = 1;
constexpr int32_t kSendFailed = 2;
// Reply codes with their own treatment.
constexpr int32_t kPlainReply = -1;
constexpr int32_t kFragmentationNeeded = 5;  // shown with the reply MTU
constexpr int32_t kUnknownCode = -2;

struct IcmpCode {
    long code;
    PyObject *const *text;
};

// In the order of the published dictionary.
const IcmpCode kIcmpCodes[] = {
    {-2, &K.tr_icmp_plain}, {3, &K.tr_icmp_plain}, {0, &K.tr_icmp_N}, {1, &K.tr_icmp_H},
    {2, &K.tr_icmp_N},      {4, &K.tr_icmp_F},     {5, &K.tr_icmp_S}, {13, &K.tr_icmp_X},
    {14, &K.tr_icmp_V},     {15, &K.tr_icmp_C},
};

// An open trace context, released exactly once, with the interpreter lock
// held, whichever way the walk ends. A thread ended at interpreter exit
// unwinds without the lock, which serialises the platform calls: the context
// is then left to the process's end.
class OpenTrace {
  public:
    explicit OpenTrace(trace_route_context *context) : context_(context) {}
    ~OpenTrace() {
        if (holds_interpreter_lock())
            free_trace_route(context_);
    }
    OpenTrace(const OpenTrace &) = delete;
    OpenTrace &operator=(const OpenTrace &) = delete;

    trace_route_context *get() const { return context_; }
    int32_t reply_mtu() const {
        return reinterpret_cast<const trace_route_context_view *>(context_)->reply_mtu;
    }

  private:
    trace_route_context *context_;
};

// "time{}".format(n) for the n-th probe entry. A response holds at most five
// entries, so the keys are the table's constants: the same strings.
PyObject *const *const kTimeKeys[TRACE_ROUTE_MAX_PROBES] = {
    &K.tr_time1, &K.tr_time2, &K.tr_time3, &K.tr_time4, &K.tr_time5,
};

struct PyMemText {
    void operator()(char *text) const {
        if (holds_interpreter_lock())
            PyMem_Free(text);
    }
};

// format(time, ".3f") with the builtin format cached at initialisation. For
// the interpreter's own format and a float, that is the float's fixed-point
// text with three decimals: made here exactly for ordinary times, by the
// interpreter's own conversion for the rest.
Ref time_text(float time) {
    if (!P.format_is_builtin)
        return call(P.format, float_value(time).get(), K.tr_time_format);
    char text[kFixedPoint3Room];
    if (const size_t length = fixed_point_3(time, text))
        return require(PyUnicode_DecodeLatin1(text, static_cast<Py_ssize_t>(length), nullptr));
    std::unique_ptr<char, PyMemText> general(
        PyOS_double_to_string(static_cast<double>(time), 'f', 3, 0, nullptr));
    if (general == nullptr)
        throw_error();
    // Digits, sign and point, or "inf"/"nan": ASCII, which Latin-1 decodes as is.
    return require(PyUnicode_DecodeLatin1(
        general.get(), static_cast<Py_ssize_t>(std::strlen(general.get())), nullptr));
}

// The templates "{} {}", "{}-{}" and "{}<{}>": two fields, each made as
// str.format makes a "{}" field (format(value, "")), around literal parts.
struct TwoFields {
    PyObject *const *middle;
    PyObject *const *after;
};

const TwoFields kProbeValue = {&K.tr_space, &K.empty};  // "{} {}"
const TwoFields kMtuNote = {&K.tr_dash, &K.empty};      // "{}-{}"
const TwoFields kCodeNote = {&K.tr_lt, &K.tr_gt};       // "{}<{}>"

Ref format(const TwoFields &text_template, PyObject *first, PyObject *second) {
    Ref head = require(PyObject_Format(first, K.empty));
    Ref tail = require(PyObject_Format(second, K.empty));
    PyObject *parts[] = {head.get(), *text_template.middle, tail.get(), *text_template.after};
    return require(_PyUnicode_JoinArray(K.empty, parts, 4));
}

// codes.get(code, -2); for a plain dict, its lookup does the same.
Ref annotation(PyObject *codes, PyObject *code) {
    if (!PyDict_CheckExact(codes))
        return call_method(codes, K.get, code, K.n_minus_2);
    PyObject *found = PyDict_GetItemWithError(codes, code);
    if (found == nullptr && PyErr_Occurred())
        throw_error();
    return Ref::borrow(found != nullptr ? found : K.n_minus_2);
}

// The note beside a reply's time: the dictionary's annotation for the code
// (looked up at each use), completed for codes 5 and -2.
Ref reply_note(const OpenTrace &trace, int32_t code) {
    Ref number = int_value(code);
    Ref note = annotation(global(K.ICMP_CODES_FOR_CHARACTERS).get(), number.get());
    if (code == kFragmentationNeeded)
        return format(kMtuNote, note.get(), int_value(trace.reply_mtu()).get());
    if (code == kUnknownCode)
        return format(kCodeNote, note.get(), number.get());
    return note;
}

Ref probe_value(const OpenTrace &trace, const trace_route_probe_info &probe, const Ref &time_text) {
    if (probe.status == kSendFailed)
        return Ref::borrow(K.tr_sent_fail);
    if (probe.status != kReplied)
        return Ref::borrow(Py_None);
    if (probe.code == kPlainReply)
        return time_text;
    return format(kProbeValue, time_text.get(), reply_note(trace, probe.code).get());
}

// A response lists at most its 5 entries, whatever its probe_count says.
Ref hop_dict(const OpenTrace &trace, const trace_route_response_info &response) {
    const size_t probes = valid_entries(response.probe_count, TRACE_ROUTE_MAX_PROBES);
    DictBuilder hop(static_cast<Py_ssize_t>(3 + probes));
    hop.set(K.ttl, int_value(response.ttl))
        .set(K.tr_ipAddress, text_of(response.ip_address))
        .set(K.tr_hostName, text_of(response.host_name));
    for (size_t i = 0; i < probes; ++i) {
        const trace_route_probe_info &probe = response.probe[i];
        hop.set(*kTimeKeys[i], probe_value(trace, probe, time_text(probe.time)));
    }
    return hop.take();
}

Ref header_dict(const trace_route_header_info &header, const Ref &address) {
    DictBuilder dict(6);
    dict.set(K.tr_hostName, text_of(header.host_name))
        .set(K.tr_ipAddress, address)
        .set(K.tr_hops, int_value(header.hops))
        .set(K.probes, int_value(header.probes))
        .set(K.timeout, int_value(header.timeout))
        .set(K.tr_packageSize, int_value(header.package_size));
    return dict.take();
}

// Header, routing table and an empty route list, written as the trace opens.
Ref publish_header(PyObject *context, const trace_route_header_info &header) {
    Ref address = text_of(header.ip_address);
    Ref routing_table = call(global(K.get_routing_table_result).get(), address.get());
    setitem(context, K.tr_routingTable, routing_table.get());
    setitem(context, K.tr_traceRouteHeader, header_dict(header, address).get());
    Ref routes = new_list();
    setitem(context, K.tr_routes, routes.get());
    return routes;
}

// Queries hop after hop until the platform reports the last one, appending
// each hop whole before its result is published. Signals are handled after
// each query and before the next one, so that Ctrl-C ends a long trace at
// the hop where it came, with the context released as for any error.
void walk(PyObject *context, const OpenTrace &trace, PyObject *routes) {
    trace_route_response_info response{};
    for (;;) {
        handle_pending_signals();
        const int result =
            without_interpreter_lock([&] { return query_trace_route(trace.get(), &response); });
        append(routes, hop_dict(trace, response));
        setitem(context, K.tr_result, to_int(result).get());
        if (result == 1)
            return;
        call(global(K.sleep).get(), K.trace_hop_pause);
    }
}

}  // namespace

Ref make_icmp_codes_for_characters() {
    Ref codes = require(PyDict_New());
    for (const IcmpCode &entry : kIcmpCodes)
        setitem(codes.get(), to_int(entry.code).get(), *entry.text);
    return codes;
}

Ref get_diagnostic_data(const Args &args) {
    PyObject *context = args[0];
    const int ttl = as_c_int(args[2]);
    const int probes = as_c_int(args[3]);
    const int timeout = as_c_int(args[4]);
    char host[kHostRoom];
    {
        CString text = to_bytes(args[1]);
        S.strtcpy(host, kHostRoom, text.c_str());
    }
    trace_route_header_info header{};
    trace_route_context *opened =
        call_unlocked([&] { return init_trace_route(host, ttl, probes, timeout, &header); });
    if (opened == nullptr) {
        handle_pending_signals();
        setitem(context, K.tr_result, K.n_minus_1);
        return Ref::borrow(Py_None);
    }
    OpenTrace trace(opened);
    handle_pending_signals();  // once the context has its owner
    setitem(context, K.tr_result, K.n_0);
    Ref routes = publish_header(context, header);
    walk(context, trace, routes.get());
    return Ref::borrow(Py_None);
}

}  // namespace zel
