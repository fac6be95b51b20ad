// Keys and literals of the multicast traceroute operations, interned once in the
// constant table (zel_util/constants.hpp).
#pragma once

// clang-format off
#define ZEL_MTRACEROUTE_STRINGS(X)                                       \
    /* module-level objects */                                           \
    X(TraceRouteSettings, "TraceRouteSettings")                          \
    X(ICMP_CODES_FOR_CHARACTERS, "ICMP_CODES_FOR_CHARACTERS")            \
    X(tr_max_probes, "max_probes")                                       \
    X(tr_max_timeout, "max_timeout")                                     \
    /* result files: names used through os and fcntl */                  \
    X(tr_file_prefix, "/tmp/mtraceroute_")                               \
    X(tr_O_CREAT, "O_CREAT")                                             \
    X(tr_O_EXCL, "O_EXCL")                                               \
    X(tr_O_RDWR, "O_RDWR")                                               \
    X(tr_fdopen, "fdopen")                                               \
    X(tr_close, "close")                                                 \
    X(tr_write_mode, "w")                                                \
    X(tr_flock, "flock")                                                 \
    X(tr_LOCK_EX, "LOCK_EX")                                             \
    X(tr_LOCK_NB, "LOCK_NB")                                             \
    X(tr_FileExistsError, "FileExistsError")                             \
    X(tr_BlockingIOError, "BlockingIOError")                             \
    /* launch */                                                         \
    X(tr_r_file_is_empty, "r_file is empty")                             \
    /* trace keys */                                                     \
    X(tr_result, "result")                                               \
    X(tr_routingTable, "routingTable")                                   \
    X(tr_traceRouteHeader, "traceRouteHeader")                           \
    X(tr_routes, "routes")                                               \
    X(tr_hostName, "hostName")                                           \
    X(tr_ipAddress, "ipAddress")                                         \
    X(tr_hops, "hops")                                                   \
    X(tr_packageSize, "packageSize")                                     \
    /* probe values */                                                   \
    X(tr_time1, "time1")                                                 \
    X(tr_time2, "time2")                                                 \
    X(tr_time3, "time3")                                                 \
    X(tr_time4, "time4")                                                 \
    X(tr_time5, "time5")                                                 \
    X(tr_time_format, ".3f")                                               \
    X(tr_sent_fail, "sent fail")                                         \
    X(tr_space, " ")                                                     \
    X(tr_dash, "-")                                                      \
    X(tr_lt, "<")                                                        \
    X(tr_gt, ">")                                                        \
    /* reply code annotations */                                         \
    X(tr_icmp_plain, "!")                                                \
    X(tr_icmp_N, "!N")                                                   \
    X(tr_icmp_H, "!H")                                                   \
    X(tr_icmp_F, "!F")                                                   \
    X(tr_icmp_S, "!S")                                                   \
    X(tr_icmp_X, "!X")                                                   \
    X(tr_icmp_V, "!V")                                                   \
    X(tr_icmp_C, "!C")
// clang-format on
