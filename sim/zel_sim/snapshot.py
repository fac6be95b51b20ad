"""Snapshots of a switch: what zel.zel_util's read-only operations return,
written as a scenario that makes the simulator return the same.

Only the standard library and the module are used here (and the record rooms
of zel_sim.records, plain data): a snapshot runs on the switch itself, where
the platform libraries and the sibling modules are the real ones and neither
the simulator library nor msgspec is installed. Nothing here changes the
switch: no flush, no hostname change, no multicast launch, no result file.

take() reads the switch through the module and returns a Snapshot: the
scenario's data, the notes on what a scenario cannot say, and the failures
met (each recorded as that failure, and reported through the report
callback as it happens). render() writes it as TOML.
"""

from __future__ import annotations

import datetime
import os
import sys
from collections.abc import Iterable
from types import ModuleType
from typing import Any

from . import _ports
from ._snapshot_reading import (Report, Snapshot, _dot1x, _flash, _port, _psus, _Reader, _system,
                                _temperatures, _trace)
from ._toml_writer import comment, quoted, table, visible

__all__ = ["Snapshot", "Report", "report_to_stderr", "platform_in_process", "kernel_interfaces",
           "take", "render", "is_header_line", "GENERAL_NOTES"]

# What every snapshot loses, said once in its header.
GENERAL_NOTES = (
    "Written as the module reports it: `port_status` without its ':', supplies' `ok` "
    "and `connected` as 1 or 0, flash partitions without an image first, probe times "
    "to the millisecond, at most the entries a record holds.",
    "Not read, as reading them changes the switch or launches something: the flush, "
    "the hostname change, multicast traceroutes and result files ([mtraceroute], "
    "flush_result, config_result, query_update, data_channel_unit keep their defaults).",
    "Delays are not kept: every answer of the replay is immediate.",
    "Interfaces not listed answer unknown_port_result (-1); traces to targets not "
    "listed do not start.",
)


def report_to_stderr(message: str) -> None:
    print(f"zel_sim snapshot: {message}", file=sys.stderr, flush=True)


# ---- where the platform comes from ---------------------------------------------

PLATFORM_SYMBOLS = ("nCfg", "dump_tessel_802_1x_status", "get_temp_list", "init_trace_route")


def platform_in_process() -> bool:
    """Whether the process already resolves the platform's symbols (a
    switch's process, where its platform libraries are loaded), without
    loading anything."""
    import ctypes

    try:
        process = ctypes.CDLL(None)
    except OSError:
        return False
    return all(hasattr(process, name) for name in PLATFORM_SYMBOLS)


def kernel_interfaces(root: str = "/sys/class/net") -> list[str]:
    """The network interfaces the kernel lists, sorted (its entries that are
    interfaces: bonding_masters, say, is a file beside them)."""
    try:
        names = os.listdir(root)
    except OSError:
        return []
    return sorted(n for n in names if os.path.isdir(os.path.join(root, n)))


def take(module: ModuleType, ports: Iterable[str], traces: Iterable[str] = (), *,
         hostname: str | bytes | None = None, hostname_source: str = "the one given",
         report: Report = report_to_stderr) -> Snapshot:
    """Reads the switch through `module` (zel.zel_util): the system values,
    hardware, the 802.1X state and traffic counters of each port, and a
    traceroute to each host in `traces` (a real trace on a switch). Each
    platform failure is recorded as that failure and reported; reading goes
    on. `hostname` is written as the system's hostname when given (the
    module has no operation that reads it); `hostname_source` says where it
    comes from."""
    r = _Reader(module, report)
    ports = list(dict.fromkeys(ports))
    traces = list(dict.fromkeys(traces))
    r.snap.ports, r.snap.traces = ports, traces
    data = r.snap.data
    fail: dict[str, int] = {}
    data["system"] = _system(r, hostname, hostname_source, fail)
    dot1x = [e for e in (_dot1x(r, p) for p in ports) if e is not None]
    if dot1x:
        data["dot1x"] = dot1x
    counters = [e for e in (_port(r, p) for p in ports) if e is not None]
    while (clash := _ports.clash(e["name"] for e in counters)) is not None:
        # "a/statistics/tx_packets" beside "a": that one is left out.
        r.lost(f"{clash[1]}: its counters are not written")
        counters = [e for e in counters if e["name"] != clash[0]]
    if counters:
        data["port"] = counters
    hardware: dict[str, Any] = {}
    _temperatures(r, hardware, fail)
    _psus(r, hardware, fail)
    _flash(r, hardware)
    data["hardware"] = hardware
    routes: dict[str, dict[str, Any]] = {}
    for host in traces:
        entry = _trace(r, host)
        if entry is not None:
            routes.setdefault(entry["target"], entry)
    if routes:
        data["traceroute"] = {"result": 0, "destination": list(routes.values())}
    if fail:
        data["fail"] = fail
    return r.snap



# ---- writing ------------------------------------------------------------------------

def render(snap: Snapshot, source: str, taken: datetime.datetime | None = None) -> str:
    """The snapshot as a scenario file: a header saying when and from what it
    was taken, what it cannot say and the failures met, then the data.

    Every text of the switch or of the environment (port names, trace
    hosts, the source, what the notes quote) stays inside its comment: names
    are written as quoted strings, and whatever is not printable escaped."""
    taken = taken or datetime.datetime.now(datetime.timezone.utc)
    lines = [
        f"# Snapshot taken {taken.strftime('%Y-%m-%dT%H:%M:%SZ')} by `python -m zel_sim "
        f"snapshot` from {visible(source)}.",
        "# What zel.zel_util's read-only operations returned, written as a scenario that",
        "# makes the simulator return the same.",
        "# Ports: " + (", ".join(map(quoted, snap.ports)) or "none") + ".",
        "# Traces (run by the switch): " + (", ".join(map(quoted, snap.traces)) or "none") + ".",
        "#",
        "# What a scenario cannot say:",
    ]
    for note in (*GENERAL_NOTES, *snap.notes):
        lines += comment(note)
    if snap.failures:
        lines += ["#", "# Platform failures met, each recorded as that failure:"]
        for failure in snap.failures:
            lines += comment(failure)
    table(lines, "", snap.data, None)
    return "\n".join(lines) + "\n"


def is_header_line(line: str) -> bool:
    """The header line that differs between two snapshots of one switch."""
    return line.startswith("# Snapshot taken ")
