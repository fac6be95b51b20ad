// The traceroute query: one trace context walked hop by hop, each hop written
// into the caller's mapping as soon as it is known, so that another thread
// holding the mapping can show the trace while it runs.
#include "core/access.hpp"
#include "core/calls.hpp"
#include "core/convert.hpp"
#include "core/module_namespace.hpp"
#include "core/operation.hpp"
#include "core/record.hpp"
#include "core/siblings.hpp"
#include "core/strings.hpp"
#include "core/text_conversion.hpp"
#include "core/unlocked.hpp"
#include "mtraceroute/builtins.hpp"
#include "mtraceroute/strings.hpp"
#include "platform/platform.h"

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
    {-2, &traceroute_names.icmp_plain}, {3, &traceroute_names.icmp_plain},
    {0, &traceroute_names.icmp_N},      {1, &traceroute_names.icmp_H},
    {2, &traceroute_names.icmp_N},      {4, &traceroute_names.icmp_F},
    {5, &traceroute_names.icmp_S},      {13, &traceroute_names.icmp_X},
    {14, &traceroute_names.icmp_V},     {15, &traceroute_names.icmp_C},
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
    &traceroute_names.time1, &traceroute_names.time2, &traceroute_names.time3,
    &traceroute_names.time4, &traceroute_names.time5,
};

// format(time, ".3f") with the builtin format cached at initialisation.
Ref time_text(float time) {
    return call(traceroute_builtins.format, to_float(time).get(), traceroute_names.time_format);
}

// The templates "{} {}", "{}-{}" and "{}<{}>": two fields, each made as
// str.format makes a "{}" field (format(value, "")), around literal parts.
struct TwoFields {
    PyObject *const *middle;
    PyObject *const *after;
};

const TwoFields kProbeValue = {&traceroute_names.space, &core_names.empty};  // "{} {}"
const TwoFields kMtuNote = {&traceroute_names.dash, &core_names.empty};      // "{}-{}"
const TwoFields kCodeNote = {&traceroute_names.lt, &traceroute_names.gt};    // "{}<{}>"

Ref format(const TwoFields &text_template, PyObject *first, PyObject *second) {
    Ref head = require(PyObject_Format(first, core_names.empty));
    Ref tail = require(PyObject_Format(second, core_names.empty));
    Ref parts = require(
        PyTuple_Pack(4, head.get(), *text_template.middle, tail.get(), *text_template.after));
    return require(PyUnicode_Join(core_names.empty, parts.get()));
}

// codes.get(code, -2); for a plain dict, its lookup does the same.
Ref annotation(PyObject *codes, PyObject *code) {
    if (!PyDict_CheckExact(codes))
        return call_method(codes, traceroute_names.get, code, traceroute_names.unknown_code);
    PyObject *found = PyDict_GetItemWithError(codes, code);
    if (found == nullptr && PyErr_Occurred())
        throw_error();
    return Ref::borrow(found != nullptr ? found : traceroute_names.unknown_code);
}

// The note beside a reply's time: the dictionary's annotation for the code
// (looked up at each use), completed for codes 5 and -2.
Ref reply_note(const OpenTrace &trace, int32_t code) {
    Ref number = to_int(code);
    Ref note = annotation(global(traceroute_names.ICMP_CODES_FOR_CHARACTERS).get(), number.get());
    if (code == kFragmentationNeeded)
        return format(kMtuNote, note.get(), to_int(trace.reply_mtu()).get());
    if (code == kUnknownCode)
        return format(kCodeNote, note.get(), number.get());
    return note;
}

Ref probe_value(const OpenTrace &trace, const trace_route_probe_info &probe, const Ref &time_text) {
    if (probe.status == kSendFailed)
        return Ref::borrow(traceroute_names.sent_fail);
    if (probe.status != kReplied)
        return Ref::borrow(Py_None);
    if (probe.code == kPlainReply)
        return time_text;
    return format(kProbeValue, time_text.get(), reply_note(trace, probe.code).get());
}

// A response lists at most its 5 entries, whatever its probe_count says.
Ref hop_dict(const OpenTrace &trace, const trace_route_response_info &response) {
    const size_t probes = valid_entries(response.probe_count, TRACE_ROUTE_MAX_PROBES);
    DictBuilder hop;
    hop.set(traceroute_names.ttl, to_int(response.ttl))
        .set(traceroute_names.ipAddress, text_of(response.ip_address))
        .set(traceroute_names.hostName, text_of(response.host_name));
    for (size_t i = 0; i < probes; ++i) {
        const trace_route_probe_info &probe = response.probe[i];
        hop.set(*kTimeKeys[i], probe_value(trace, probe, time_text(probe.time)));
    }
    return hop.take();
}

Ref header_dict(const trace_route_header_info &header, const Ref &address) {
    DictBuilder dict;
    dict.set(traceroute_names.hostName, text_of(header.host_name))
        .set(traceroute_names.ipAddress, address)
        .set(traceroute_names.hops, to_int(header.hops))
        .set(traceroute_names.probes, to_int(header.probes))
        .set(traceroute_names.timeout, to_int(header.timeout))
        .set(traceroute_names.packageSize, to_int(header.package_size));
    return dict.take();
}

// Header, routing table and an empty route list, written as the trace opens.
Ref publish_header(PyObject *context, const trace_route_header_info &header) {
    Ref address = text_of(header.ip_address);
    Ref routing_table =
        call(global(traceroute_names.get_routing_table_result).get(), address.get());
    setitem(context, traceroute_names.routingTable, routing_table.get());
    setitem(context, traceroute_names.traceRouteHeader, header_dict(header, address).get());
    Ref routes = new_list();
    setitem(context, traceroute_names.routes, routes.get());
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
        setitem(context, traceroute_names.result, to_int(result).get());
        if (result == 1)
            return;
        call(global(traceroute_names.sleep).get(), traceroute_names.hop_pause);
    }
}

Ref make_icmp_codes_for_characters() {
    Ref codes = require(PyDict_New());
    for (const IcmpCode &entry : kIcmpCodes)
        setitem(codes.get(), to_int(entry.code).get(), *entry.text);
    return codes;
}

}  // namespace

ZEL_MODULE_OBJECT(ICMP_CODES_FOR_CHARACTERS, make_icmp_codes_for_characters);

Ref get_diagnostic_data(PyObject *context, PyObject *ip_host, PyObject *ttl_arg,
                        PyObject *probes_arg, PyObject *timeout_arg) {
    const int ttl = as_c_int(ttl_arg);
    const int probes = as_c_int(probes_arg);
    const int timeout = as_c_int(timeout_arg);
    char host[kHostRoom];
    {
        CString text = to_bytes(ip_host);
        util_string.strtcpy(host, kHostRoom, text.c_str());
    }
    trace_route_header_info header{};
    trace_route_context *opened =
        call_unlocked([&] { return init_trace_route(host, ttl, probes, timeout, &header); });
    if (opened == nullptr) {
        handle_pending_signals();
        setitem(context, traceroute_names.result, traceroute_names.no_trace);
        return Ref::borrow(Py_None);
    }
    OpenTrace trace(opened);
    handle_pending_signals();  // once the context has its owner
    setitem(context, traceroute_names.result, traceroute_names.started);
    Ref routes = publish_header(context, header);
    walk(context, trace, routes.get());
    return Ref::borrow(Py_None);
}
ZEL_OPERATION(get_diagnostic_data, param("context"), param("ip_host"),
              param("ttl", default_int(32), Accepts::exact_int),
              param("probes", default_int(3), Accepts::exact_int),
              param("timeout", default_int(15), Accepts::exact_int));

}  // namespace zel
