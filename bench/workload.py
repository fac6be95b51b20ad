"""The switch the benchmark runs against, and the calls it measures.

`Workload` scripts the simulator with a busy switch (an 802.1X port with 20
sessions, 8 temperature sensors, 13 power supplies, 8 flash partitions, a
30-hop trace without delays), writes real counter files into a temporary
directory, and rebinds two module-level names in both the module and the
ctypes baseline: `sleep` (the pause between trace hops) to the builtin
`float`, which takes the 0.2 and does nothing, and `os` to a stand-in that
creates the traceroute result files in the private directory instead of
/tmp, so the benchmark neither waits nor touches files of other users.

`CASES` lists one call per function, in the module's order; a function
without arguments that it does not name is measured as it is, as a reading
that builds its result.
"""

import ctypes
import dataclasses
import datetime
import inspect
import marshal
import os
import shutil
import sys
import tempfile
from typing import Callable

import zel_sim
import zel.zel_util as zel_util
from zel_sim import Step, records
from zel_sim.testing import PrivateTmp, module_functions

from bench.timing import Loop

INTERFACE = "gi1/0/5"
TRACE_HOST = "203.0.113.53"
TRACE_HOPS = 30
HOSTNAME = "lab-access-sw-07"

_MISSING = object()


# ---- the switch ----------------------------------------------------------------------


def _session(i):
    return {
        "mac": f"00:1b:21:3a:{i:02x}:{(i * 37) % 256:02x}",
        "type": "MAB" if i % 4 == 3 else "802.1X",
        "eap": "None" if i % 4 == 3 else "EAP-PEAP",
        "eap_counter": f"{i + 3}/{i + 3}",
        "elapsed_time": f"{i % 24:02d}:{(i * 7) % 60:02d}:{(i * 13) % 60:02d}",
        "pae": "Authenticated",
        "params": "Session-Timeout=28800,Termination-Action=RADIUS",
        "security_group": "Engineering",
        "user": f"user{i:02d}.corp.example",
        "brenlow_group": "corp-staff",
        "native_vlan_id": 10,
        "traffic_vlan_id": 10 + i,
        "dynamic_assigned_vlan_id": (i % 3) * 10,
    }


def dot1x_record():
    return records.dot1x_status(
        name=INTERFACE, mode=2, mab=1, link_status="Up", port_status="Authorized:Both",
        eap_pass_through="Disabled", dynamic_vlanid=30, native_vlanid=10,
        allowed_vlanid="10,20,30-39", untagged_vlanid="10", guest_vlan_enable=1,
        guest_vlan="VLAN 99 (guest)", auth_fail_vlan_enable=1,
        auth_fail_vlan="VLAN 999 (quarantine)", sessions=[_session(i) for i in range(20)])


TEMPERATURES = [41.5, 38.25, 52.0, 47.75, 39.5, 44.0, 61.25, 36.5]
SUPPLIES = [(f"PSU{i}", i % 5 != 0, i % 6 != 0) for i in range(1, 14)]
PARTITIONS = [
    {"partition": i, "image": "" if i in (3, 6, 8) else f"zel-os-5.{i}.0.bin",
     "tot_size": 65536, "used_size": 0 if i in (3, 6, 8) else 40000 + i, "usage": 61 + i % 3,
     "active": int(i == 1)}
    for i in range(1, 9)
]


def _probes(hop):
    if hop % 10 == 4:
        return [(1, 5, 14.25), (1, -1, 14.0), (1, 1, 14.5)]
    if hop % 10 == 7:
        return [(1, -1, 8.5), (2, 0, 0.0), (0, 0, 0.0)]
    return [(1, -1, 0.5 + hop * 0.41), (1, -1, 0.48 + hop * 0.4), (1, -1, 0.52 + hop * 0.42)]


def trace_steps(hops):
    """One query_trace_route step per hop, the last one ending the trace."""
    steps = []
    for hop in range(1, hops + 1):
        host = "" if hop % 9 == 0 else f"hop{hop}.isp.example"
        record = records.trace_response(hop, f"10.{hop}.0.1", host, _probes(hop))
        steps.append(Step(result=int(hop == hops), record=record))
    return steps


def script_trace(hops):
    zel_sim.script("query_trace_route", *trace_steps(hops))


def script_switch():
    zel_sim.reset()
    zel_sim.script("dump_tessel_802_1x_status", result=1, record=dot1x_record(), key=INTERFACE)
    zel_sim.script("get_temp_list", result=0, record=records.temp_list(TEMPERATURES))
    zel_sim.script("get_psu_list", result=0, record=records.psu_list(SUPPLIES))
    zel_sim.script("get_flash_list", result=0, record=records.flash_list(PARTITIONS))
    zel_sim.script("api_mtraceroute", result=0)
    zel_sim.script("init_trace_route", result=1,
                   record=records.trace_header("ns1.example.net", TRACE_HOST, TRACE_HOPS, 3, 5, 60),
                   aux=records.trace_context(1500))
    script_trace(TRACE_HOPS)


def write_counter_files(root):
    statistics = os.path.join(root, INTERFACE, "statistics")
    os.makedirs(statistics)
    values = {"tx_packets": 81_234_567, "tx_bytes": 96_876_543_210,
              "rx_packets": 79_345_678, "rx_bytes": 88_123_456_789}
    for name, value in values.items():
        with open(os.path.join(statistics, name), "w") as f:
            f.write(f"{value}\n")


class Workload:
    """Context manager: the scripted switch, the counter files and the
    rebound names, all undone on exit."""

    def __init__(self, module, baseline):
        self.namespaces = [vars(module), vars(baseline)]
        self.saved = []
        self.directory = None
        self.tmp = None

    def __enter__(self):
        import zel.zel

        self.directory = tempfile.mkdtemp(prefix="zel-bench-")
        write_counter_files(os.path.join(self.directory, "net"))
        os.mkdir(os.path.join(self.directory, "tmp"))
        self.tmp = PrivateTmp(os.path.join(self.directory, "tmp"), record=False)
        zel.zel.set_stats_root(os.path.join(self.directory, "net"))
        script_switch()
        self._rebind({"sleep": float, "os": self.tmp, "_HAS_TEMPERATURE_SENSOR": None,
                      "_MULTIPLE_TEMPERATURE_SENSORS": None})
        return self

    def __exit__(self, *exc):
        import zel.zel

        for namespace, name, value in reversed(self.saved):
            if value is _MISSING:
                namespace.pop(name, None)
            else:
                namespace[name] = value
        zel.zel.set_stats_root(None)
        zel_sim.reset()
        shutil.rmtree(self.directory, ignore_errors=True)

    def _rebind(self, names):
        for namespace in self.namespaces:
            for name, value in names.items():
                self.saved.append((namespace, name, namespace.get(name, _MISSING)))
                namespace[name] = value


def fill_call_log():
    """Fills the simulator's call log, which keeps only the latest calls:
    from then on each platform call also drops the oldest entry, as in any
    long run, so that every measured call does the same work in the
    simulator however many calls came before it. Returns the log's size."""
    platform_call = ctypes.CDLL(zel_sim.LIBRARY).is_diag_debug_enabled
    size = None
    while True:
        for _ in range(1024):
            platform_call()
        now = len(zel_sim.calls())
        if now == size:
            return size
        size = now


# ---- the calls -------------------------------------------------------------------------


@dataclasses.dataclass(frozen=True)
class Case:
    """One measured call: `function(*args)` in the module and in the baseline."""

    name: str                        # row of the table
    function: str                    # name in zel.zel_util and in the baseline
    args: Callable[[], tuple] = tuple  # a fresh argument tuple
    target: str = ""                 # "floor" or "result": the figure the limit applies to
    limit: float = 0.0               # at most this many times that figure
    builds: str = ""                 # what the result floor recreates: "result", "context"
    hops: int = 0                    # trace length of a get_diagnostic_data case
    prepare: Callable[[], None] | None = None
    cleanup: bool = False            # the call leaves a result file to remove

    @property
    def nargs(self):
        return len(self.args())


def _trace_case(hops):
    return Case(f"get_diagnostic_data[{hops}]", "get_diagnostic_data",
                lambda: ({}, TRACE_HOST), builds="context", hops=hops,
                prepare=lambda: script_trace(hops))


# Constant and flag functions: at most 1.5 times a do-nothing builtin. Record
# readers: at most their result floor; psu_list, which makes intermediate
# strings, at most 1.5 times. A trace has no target: each hop pauses 0.2 s on
# the device, and a hop's own work is far below 0.01 % of that pause; its
# ratios are reported.
_FLAG = {"target": "floor", "limit": 1.5}
_READER = {"target": "result", "limit": 1.0, "builds": "result"}
_LOOSE_READER = {"target": "result", "limit": 1.5, "builds": "result"}

CASES = [
    Case("get_last_backup", "get_last_backup", builds="result"),
    Case("get_8021x_status", "get_8021x_status", lambda: (INTERFACE,), **_READER),
    Case("get_diag_debug_status", "get_diag_debug_status", **_FLAG),
    Case("has_temperature_sensor", "has_temperature_sensor", **_FLAG),
    Case("multiple_temperature_sensors", "multiple_temperature_sensors", **_FLAG),
    Case("system_temperatures", "system_temperatures", **_READER),
    Case("set_hostname", "set_hostname", lambda: (HOSTNAME,)),
    Case("get_cmdb_max_buff", "get_cmdb_max_buff", **_FLAG),
    Case("get_8021x_sessions", "get_8021x_sessions", lambda: (INTERFACE,), **_READER),
    Case("get_flashs", "get_flashs", **_READER),
    Case("psu_list", "psu_list", **_LOOSE_READER),
    Case("stp_instance_priority_default", "stp_instance_priority_default", **_FLAG),
    Case("system_port_traffic", "system_port_traffic", lambda: (INTERFACE,), builds="result"),
    Case("delete_sticky_mac_unsaved", "delete_sticky_mac_unsaved", lambda: (INTERFACE,)),
    _trace_case(TRACE_HOPS),
    _trace_case(1),
    Case("exec_mtraceroute", "exec_mtraceroute", lambda: ("0", "239.1.1.1")),
    Case("get_safe_r_file", "get_safe_r_file", cleanup=True),
]


# A function without arguments that no case above names is measured as it
# is, on the busy switch, against the do-nothing builtin and its result
# floor, with no target: a reading that builds its result (a flag or a
# constant, which returns an object that already existed, has its case above).
_ORDER = module_functions(zel_util)
_LISTED = {case.function for case in CASES}
CASES += [Case(name, name, builds="result") for name in _ORDER if name not in _LISTED
          and not inspect.signature(getattr(zel_util, name)).parameters]
CASES.sort(key=lambda case: _ORDER.index(case.function))

# The per-hop cost of get_diagnostic_data is the difference between a
# 30-hop and a 1-hop trace, divided by 29: what one more hop costs.
PER_HOP = ("get_diagnostic_data per hop", f"get_diagnostic_data[{TRACE_HOPS}]",
           "get_diagnostic_data[1]", TRACE_HOPS - 1)

# A do-nothing builtin of the interpreter with the same number of arguments.
FLOORS = {
    0: ("sys.getrecursionlimit()", sys.getrecursionlimit, ()),
    1: ("id(x)", id, (INTERFACE,)),
    2: ("issubclass(int, int)", issubclass, (int, int)),
}


# ---- checking the baseline -------------------------------------------------------------


def same(a, b, where="result"):
    """None when a and b are the same value (types, key orders and
    named-tuple fields included), else where they differ."""
    if isinstance(a, tuple) and hasattr(a, "_fields"):
        if type(a).__name__ != type(b).__name__ or a._fields != getattr(b, "_fields", None):
            return f"{where}: {a!r} != {b!r}"
    elif type(a) is not type(b):
        return f"{where}: {type(a).__name__} {a!r} != {type(b).__name__} {b!r}"
    if isinstance(a, dict):
        if list(a) != list(b):
            return f"{where}: keys {list(a)} != {list(b)}"
        return next((d for k in a if (d := same(a[k], b[k], f"{where}[{k!r}]"))), None)
    if isinstance(a, (list, tuple)):
        if len(a) != len(b):
            return f"{where}: {len(a)} items != {len(b)}"
        return next((d for i, (x, y) in enumerate(zip(a, b))
                     if (d := same(x, y, f"{where}[{i}]"))), None)
    return None if a == b else f"{where}: {a!r} != {b!r}"


# Context numbers of the trace functions count up across calls.
_CONTEXT_CALLS = ("query_trace_route", "free_trace_route")


def _platform_calls():
    return [(c.fn, () if c.fn in _CONTEXT_CALLS else c.args) for c in zel_sim.calls()]


def observe(workload, case, function):
    """Calls `function` once as the case does; returns what the call gave
    (its result and its arguments, which a traceroute fills) and the
    platform calls it made."""
    if case.prepare:
        case.prepare()
    zel_sim.clear_calls()
    args = case.args()
    result = function(*args)
    seen = (result, args, _platform_calls())
    if case.cleanup:
        os.unlink(workload.tmp.result_file(result))
    return seen


def disagreement(workload, case, module_function, baseline_function):
    """None when the baseline gives what the module gives for `case`, else
    a description of the first difference."""
    mine = observe(workload, case, module_function)
    theirs = observe(workload, case, baseline_function)
    return same(mine[:2], theirs[:2]) or same(mine[2], theirs[2], "platform calls")


# ---- the result floor ------------------------------------------------------------------
#
# What the interpreter itself spends to create and free an object graph equal
# to a call's result: `marshal.loads` of bytes made once from the module's own
# result. Named tuples go in as plain tuples (marshal knows no classes). A
# `datetime` cannot be marshalled; its floor is the constructor's own
# creation from the 10-byte state that pickling uses, `datetime(state)`, the
# cheapest way the interpreter has to make one.
#
# A case without `builds` returns an object that exists before the call (None,
# a bool, a cached small int, a constant, a one-character string): it has no
# result floor.


def plain(value):
    """`value` with named tuples as plain tuples, containers rebuilt, the
    objects inside them shared as before."""
    if isinstance(value, tuple):
        return tuple(plain(item) for item in value)
    if isinstance(value, list):
        return [plain(item) for item in value]
    if isinstance(value, dict):
        return {key: plain(item) for key, item in value.items()}
    return value


@dataclasses.dataclass(frozen=True)
class ResultFloor:
    """`make(data)` creates a graph equal to the case's result."""

    kind: str      # "marshal" or "datetime"
    data: bytes

    @property
    def make(self):
        return marshal.loads if self.kind == "marshal" else datetime.datetime


def built_value(case, seen):
    """The graph a call built, from what `observe` saw."""
    result, args, _ = seen
    return args[0] if case.builds == "context" else result


def result_floor(work, case, function):
    """The result floor of `case`, from one call of `function` (the module's);
    None when the case builds nothing."""
    if not case.builds:
        return None
    value = built_value(case, observe(work, case, function))
    if isinstance(value, datetime.datetime):
        return ResultFloor("datetime", value.__reduce__()[1][0])
    return ResultFloor("marshal", marshal.dumps(plain(value)))


def result_floor_loop(floor):
    return Loop(floor.make, (floor.data,))


# ---- the loops -------------------------------------------------------------------------


def floor_loop(nargs):
    _, function, args = FLOORS[nargs]
    return Loop(function, args)


def case_loop(workload, case, function):
    """The timed loop of `function` (the module's or the baseline's) for
    `case`; a result file the call creates is removed after each call."""
    cleanup = (os.unlink, workload.tmp.result_file(0)) if case.cleanup else None
    return Loop(function, case.args(), cleanup)
