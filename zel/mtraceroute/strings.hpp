// Names, keys, literals and numbers of the multicast traceroute operations,
// made once by intern_mtraceroute_strings() at initialisation.
#pragma once

#include <Python.h>

#include "core/interned.hpp"

// clang-format off
#define ZEL_MTRACEROUTE_STRINGS(X)                                       \
    /* module-level names */                                             \
    X(os, "os")                                                          \
    X(fcntl, "fcntl")                                                    \
    X(sleep, "sleep")                                                    \
    X(get_routing_table_result, "get_routing_table_result")              \
    X(IntEnum, "IntEnum")                                                \
    /* builtins, kept by traceroute_builtins */                         \
    X(format, "format")                                                  \
    X(ValueError, "ValueError")                                          \
    /* TraceRouteSettings and ICMP_CODES_FOR_CHARACTERS */               \
    X(TraceRouteSettings, "TraceRouteSettings")                          \
    X(ICMP_CODES_FOR_CHARACTERS, "ICMP_CODES_FOR_CHARACTERS")            \
    X(__prepare__, "__prepare__")                                        \
    X(__qualname__, "__qualname__")                                      \
    X(ttl, "ttl")                                                        \
    X(probes, "probes")                                                  \
    X(timeout, "timeout")                                                \
    X(max_ttl, "max_ttl")                                                \
    X(max_probes, "max_probes")                                          \
    X(max_timeout, "max_timeout")                                        \
    /* result files: names used through os and fcntl */                  \
    X(file_prefix, "/tmp/mtraceroute_")                               \
    X(O_CREAT, "O_CREAT")                                             \
    X(O_EXCL, "O_EXCL")                                               \
    X(O_RDWR, "O_RDWR")                                               \
    X(fdopen, "fdopen")                                               \
    X(close, "close")                                                 \
    X(write_mode, "w")                                                \
    X(flock, "flock")                                                 \
    X(LOCK_EX, "LOCK_EX")                                             \
    X(LOCK_NB, "LOCK_NB")                                             \
    X(FileExistsError, "FileExistsError")                             \
    X(BlockingIOError, "BlockingIOError")                             \
    /* launch */                                                         \
    X(r_file_is_empty, "r_file is empty")                             \
    /* trace keys */                                                     \
    X(result, "result")                                               \
    X(routingTable, "routingTable")                                   \
    X(traceRouteHeader, "traceRouteHeader")                           \
    X(routes, "routes")                                               \
    X(hostName, "hostName")                                           \
    X(ipAddress, "ipAddress")                                         \
    X(hops, "hops")                                                   \
    X(packageSize, "packageSize")                                     \
    /* probe values */                                                   \
    X(time1, "time1")                                                 \
    X(time2, "time2")                                                 \
    X(time3, "time3")                                                 \
    X(time4, "time4")                                                 \
    X(time5, "time5")                                                 \
    X(time_format, ".3f")                                               \
    X(sent_fail, "sent fail")                                         \
    X(space, " ")                                                     \
    X(dash, "-")                                                      \
    X(lt, "<")                                                        \
    X(gt, ">")                                                           \
    X(get, "get")                                                        \
    /* reply code annotations */                                         \
    X(icmp_plain, "!")                                                \
    X(icmp_N, "!N")                                                   \
    X(icmp_H, "!H")                                                   \
    X(icmp_F, "!F")                                                   \
    X(icmp_S, "!S")                                                   \
    X(icmp_X, "!X")                                                   \
    X(icmp_V, "!V")                                                   \
    X(icmp_C, "!C")
// clang-format on

namespace zel {

struct TracerouteNames {
    ZEL_MTRACEROUTE_STRINGS(ZEL_STRING_MEMBER)
    PyObject *no_trace = nullptr;      // -1: `result` when the trace could not start
    PyObject *started = nullptr;       // 0: `result` once it has started
    PyObject *unknown_code = nullptr;  // -2: the annotation of a code not in the table
    PyObject *hop_pause = nullptr;     // 0.2: seconds between two hops
};

extern TracerouteNames traceroute_names;

// Throws PyErrorSet.
void intern_mtraceroute_strings();

}  // namespace zel
