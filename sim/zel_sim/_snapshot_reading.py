"""Reading a switch through zel.zel_util for a snapshot, one reader per
part of a scenario (system, 802.1X, counters, hardware, traceroute): each
turns what the module returned into the scenario's data, and records a
platform failure as that failure, or notes what it cannot write."""

from __future__ import annotations

import contextlib
import dataclasses
import datetime
import io
import math
import sys
from collections.abc import Callable, Mapping
from types import ModuleType
from typing import Any

from . import _ports, records
from ._readings import READINGS
from ._snapshot_values import _error_text, probe_time, text
from ._toml_writer import Hex

_DOT1X_ORDER = ("name", "mode", "mab", "link_status", "port_status", "eap_pass_through",
                "dynamic_vlanid", "native_vlanid", "allowed_vlanid", "untagged_vlanid",
                "guest_vlan_enable", "guest_vlan", "auth_fail_vlan_enable", "auth_fail_vlan")


@dataclasses.dataclass
class Snapshot:
    """A scenario's data (sections in file order), what it cannot say, and
    the platform failures met (each recorded in the data too)."""

    data: dict[str, Any] = dataclasses.field(default_factory=dict)
    notes: list[str] = dataclasses.field(default_factory=list)
    failures: list[str] = dataclasses.field(default_factory=list)
    ports: list[str] = dataclasses.field(default_factory=list)
    traces: list[str] = dataclasses.field(default_factory=list)


Report = Callable[[str], None]



class _Reader:
    def __init__(self, module: ModuleType, report: Report) -> None:
        self.module = module
        self.report = report
        self.snap = Snapshot()

    def platform_code(self, error: BaseException, fn: str) -> int | None:
        """The status of a CFunctionError(fn, status) of the module, else None."""
        cls = getattr(self.module, "CFunctionError", None)
        if (isinstance(cls, type) and isinstance(error, cls) and len(error.args) == 2
                and error.args[0] == fn and type(error.args[1]) is int):
            return int(error.args[1])
        return None

    def failed(self, what: str, recorded: str) -> None:
        message = f"{what}; {recorded}"
        self.snap.failures.append(message)
        self.report(message)

    def lost(self, note: str) -> None:
        self.snap.notes.append(note)
        self.report(note)


def _failed(r: _Reader, error: Exception, operation: str, fn: str, fail: dict[str, int]) -> None:
    """An operation without arguments that raised: the failure code of its
    platform call goes under [fail], so that the replay fails alike; any
    other error is reported as not written."""
    code = r.platform_code(error, fn)
    if code is None:
        r.lost(f"{operation}() raised {_error_text(error)}: not written")
        return
    fail[fn] = code
    r.failed(f"{operation}(): {fn} failed with {code}", f"recorded as [fail] {fn} = {code}")


def _system(r: _Reader, hostname: str | bytes | None, hostname_source: str,
            fail: dict[str, int]) -> dict[str, Any]:
    system: dict[str, Any] = {}
    if hostname:
        r.snap.notes.append(f"The module reads no hostname: `hostname` is {hostname_source}.")
        raw = hostname if isinstance(hostname, bytes) else hostname.encode("latin-1", "replace")
        if len(raw) < records.HOSTNAME_ROOM:
            system["hostname"] = text(raw, records.HOSTNAME_ROOM)
        else:
            r.lost(f"the hostname {raw!r} is longer than the platform's field "
                   f"({records.HOSTNAME_ROOM - 1} bytes): not written")
    try:
        backup = r.module.get_last_backup()
    except Exception as error:
        r.lost(f"get_last_backup() raised {_error_text(error)}: not written")
    else:
        if backup is None:
            system["backup_time"] = False
        else:
            # A local time of this host: the moment, written in UTC.
            system["backup_time"] = backup.astimezone(datetime.timezone.utc)
    for field, reading in READINGS.items():
        try:
            system[field] = int(getattr(r.module, reading.operation)())
        except Exception as error:
            _failed(r, error, reading.operation, reading.function, fail)
    constants = []
    for name in ("get_cmdb_max_buff", "stp_instance_priority_default"):
        try:
            constants.append(f"{name}() = {getattr(r.module, name)()!r}")
        except Exception as error:
            constants.append(f"{name}() raised {_error_text(error)}")
    # Constants of the module itself, the same on every switch it runs on.
    r.snap.notes.append(f"{' and '.join(constants)}: the module's own, not the platform's, "
                        "so no scenario holds them.")
    return system


def _session(status_session: Mapping[str, Any], flat: Mapping[str, Any] | None) -> dict[str, Any]:
    entry: dict[str, Any] = {}
    for key, room in records.SESSION_TEXT_ROOMS.items():
        entry[key] = text(status_session[key], room)
    entry["native_vlan_id"] = int(flat["native_vlan_id"]) if flat is not None else 0
    entry["traffic_vlan_id"] = int(status_session["traffic_vlan_id"])
    entry["dynamic_assigned_vlan_id"] = int(status_session["dynamic_assigned_vlan_id"])
    return entry


def _dot1x(r: _Reader, port: str) -> dict[str, Any] | None:
    entry: dict[str, Any] = {"interface": port}
    fn = "dump_tessel_802_1x_status"
    try:
        status = r.module.get_8021x_status(port)
    except Exception as error:
        code = r.platform_code(error, fn)
        if code is None:
            r.lost(f"get_8021x_status({port!r}) raised {_error_text(error)}: "
                   "the interface is not written")
            return None
        entry["result"] = code
        r.failed(f"get_8021x_status({port!r}): {fn} failed with {code}",
                 f"recorded as its result = {code}")
        return entry
    try:
        flat: list[Mapping[str, Any]] | None = r.module.get_8021x_sessions(port)
    except Exception as error:
        flat = None
        r.lost(f"get_8021x_sessions({port!r}) raised {_error_text(error)} after "
               "get_8021x_status succeeded: its sessions' native_vlan_id is written as 0")
    for key in _DOT1X_ORDER:
        room = records.DOT1X_TEXT_ROOMS.get(key)
        entry[key] = int(status[key]) if room is None else text(status[key], room)
    sessions = list(status["sessions"])
    if flat is not None and len(flat) != len(sessions):
        r.lost(f"{port!r}: get_8021x_sessions() gave {len(flat)} sessions, "
               f"get_8021x_status() {len(sessions)}: the latter are written")
        flat = None
    entry["sessions"] = [_session(s, flat[i] if flat is not None else None)
                         for i, s in enumerate(sessions)]
    return entry


class _CounterWatch:
    """The counter reads of one system_port_traffic() call: which counter
    files were opened (audit events), and which reads failed (the module
    prints each one's traceback to standard error, kept out of the
    snapshot's report, reports it to sys.unraisablehook and counts 0)."""

    _active: _CounterWatch | None = None
    _hooked = False

    def __init__(self) -> None:
        self.opened = 0
        self.failures: dict[int, BaseException | None] = {}

    @classmethod
    def _audit(cls, event: str, args: tuple[Any, ...]) -> None:
        # The module opens each counter file by the bytes path it copied;
        # printing a failure's traceback opens source files by str paths.
        watch = cls._active
        if watch is not None and event == "open" and args and isinstance(args[0], bytes):
            watch.opened += 1

    def _unraisable(self, unraisable: Any) -> None:
        self.failures[max(self.opened - 1, 0)] = unraisable.exc_value

    def __enter__(self) -> _CounterWatch:
        if not _CounterWatch._hooked:
            sys.addaudithook(_CounterWatch._audit)
            _CounterWatch._hooked = True
        self._saved = sys.unraisablehook
        sys.unraisablehook = self._unraisable
        self._stderr = contextlib.redirect_stderr(io.StringIO())
        self._stderr.__enter__()
        _CounterWatch._active = self
        return self

    def __exit__(self, *exc: object) -> None:
        _CounterWatch._active = None
        self._stderr.__exit__(None, None, None)
        sys.unraisablehook = self._saved


def _port(r: _Reader, port: str) -> dict[str, Any] | None:
    if not port or _ports.name_problem(port) is not None:
        r.lost(f"port {port!r}: a scenario cannot name its counter files; not written")
        return None
    try:
        with _CounterWatch() as watch:
            stats = r.module.system_port_traffic(port)
    except Exception as error:
        r.lost(f"system_port_traffic({port!r}) raised {_error_text(error)}: not written")
        return None
    entry: dict[str, Any] = {"name": port}
    unreadable = []
    for index, counter in enumerate(_ports.COUNTERS):
        if index in watch.failures and stats[index] == 0:
            unreadable.append(counter)
            met = watch.failures[index]
            how = "a missing file" if met is None or isinstance(met, FileNotFoundError) else (
                f"a missing file (it was {_error_text(met)})")
            r.failed(f"system_port_traffic({port!r}): {counter} could not be read",
                     f"recorded as unreadable, replayed as {how}")
        else:
            entry[counter] = int(stats[index])
    if unreadable:
        entry["unreadable"] = unreadable
    return entry


def _temperatures(r: _Reader, hardware: dict[str, Any], fail: dict[str, int]) -> None:
    try:
        temps = r.module.system_temperatures()
    except Exception as error:
        _failed(r, error, "system_temperatures", "get_temp_list", fail)
        return
    hardware["temperatures"] = [float(t) for t in temps]
    for index, value in enumerate(hardware["temperatures"]):
        if math.isnan(value):
            r.lost(f"temperatures[{index}] is nan: its sign is kept, its payload bits are not")


def _psus(r: _Reader, hardware: dict[str, Any], fail: dict[str, int]) -> None:
    try:
        supplies = r.module.psu_list()
    except IndexError:
        hardware["psu"] = [{"name": ""}]
        r.failed("psu_list() raised IndexError: a supply's platform name has no \"PSU\"",
                 "the other supplies are not known; recorded as one supply named \"\"")
        return
    except Exception as error:
        _failed(r, error, "psu_list", "get_psu_list", fail)
        return
    entries = []
    for supply in supplies:
        name = str(supply.name)
        # The module shows "PSU " and what follows the platform's "PSU": the
        # platform name "PSU" + that reads back the same.
        platform = "PSU" + name[4:] if name.startswith("PSU ") else name
        entries.append({"name": text(platform, records.PSU_NAME_ROOM),
                        "ok": int(bool(supply.ok)), "connected": int(bool(supply.connected))})
    hardware["psu"] = entries


def _flash(r: _Reader, hardware: dict[str, Any]) -> None:
    try:
        partitions = r.module.get_flashs()
    except UnicodeDecodeError as error:
        image = bytes(error.object)
        hardware["flash"] = [{"image": Hex(image)}]
        r.failed(f"get_flashs() raised {_error_text(error)}",
                 "the other partitions are not known; recorded as one partition with "
                 "that image name, in hex")
        return
    except Exception as error:
        r.lost(f"get_flashs() raised {_error_text(error)}: not written")
        return
    entries = []
    for p in partitions:
        entries.append({
            "partition": int(p["partition"]),
            "image": text(p["image"], records.FLASH_IMAGE_ROOM, "utf-8"),
            "tot_size": int(p["tot_size"]), "used_size": int(p["used_size"]),
            "usage": int(p["usage"]), "active": int(p["active"]),
        })
    hardware["flash"] = entries


class TraceContext(dict[str, Any]):
    """The caller's mapping of a trace, keeping every result written: the
    module overwrites it after each hop."""

    def __init__(self) -> None:
        super().__init__()
        self.results: list[Any] = []

    def __setitem__(self, key: str, value: Any) -> None:
        if key == "result":
            self.results.append(value)
        super().__setitem__(key, value)


class _Probes:
    """Reads probe values back into (status, code, time), by the module's
    table of reply codes."""

    def __init__(self, table: Mapping[int, str]) -> None:
        self.table = dict(table)
        self.by_annotation: dict[str, int] = {}
        for code, annotation in self.table.items():
            if code not in (-2, 5):
                self.by_annotation.setdefault(annotation, code)
        self.unknown = next(c for c in range(6, 1 << 16) if c not in self.table)
        self.reply_mtu: int | None = None

    def read(self, value: Any) -> tuple[int, int, float] | None:
        if value is None:
            return (0, 0, 0.0)
        if value == "sent fail":
            return (2, 0, 0.0)
        if not isinstance(value, str):
            return None
        shown, _, annotation = value.partition(" ")
        time = probe_time(shown)
        if not annotation:
            return (1, -1, time)
        code = self._code(annotation)
        return None if code is None else (1, code, time)

    def _code(self, annotation: str) -> int | None:
        if annotation in self.by_annotation:
            return self.by_annotation[annotation]
        if annotation == f"{self.table.get(-2, -2)}<-2>":
            return -2
        prefix = f"{self.table.get(5, -2)}-"
        if annotation.startswith(prefix):
            try:
                self.reply_mtu = int(annotation[len(prefix):])
            except ValueError:
                return None
            return 5
        if annotation == "-2":
            return self.unknown
        return None


def _hop(r: _Reader, host: str, hop: Mapping[str, Any], result: Any,
         probes: _Probes) -> dict[str, Any]:
    entry: dict[str, Any] = {
        "ttl": int(hop["ttl"]),
        "ip": text(hop["ipAddress"], records.TRACE_RESPONSE_ROOMS["ip"]),
        "host": text(hop["hostName"], records.TRACE_RESPONSE_ROOMS["host"]),
    }
    triples = []
    for key, value in hop.items():
        if not key.startswith("time"):
            continue
        triple = probes.read(value)
        if triple is None:
            r.lost(f"trace to {host!r}, hop {entry['ttl']}: probe value {value!r} is not one "
                   "the module makes; written as no reply")
            triple = (0, 0, 0.0)
        triples.append(list(triple))
    entry["probes"] = triples
    if result not in (0, 1):
        entry["result"] = result
    return entry


def _trace(r: _Reader, host: str) -> dict[str, Any] | None:
    target = host.encode("latin-1", "replace")[:records.TRACE_HOST_ROOM - 1].decode("latin-1")
    context = TraceContext()
    try:
        r.module.get_diagnostic_data(context, host)
    except Exception as error:
        r.lost(f"get_diagnostic_data(..., {host!r}) raised {_error_text(error)}: "
               "the trace is not written")
        return None
    entry: dict[str, Any] = {"target": target}
    if context.results == [-1]:
        # The platform returned no trace context; -1 is the module's word for it.
        entry["result"] = 0
        r.failed(f"trace to {host!r}: init_trace_route failed (it returned a null pointer, "
                 "which the module reports as the context's result -1)",
                 "recorded as its result = 0, a null pointer")
        return entry
    header = context["traceRouteHeader"]
    entry["result"] = 1
    entry["host_name"] = text(header["hostName"], records.TRACE_HEADER_ROOMS["host_name"])
    entry["ip_address"] = text(header["ipAddress"], records.TRACE_HEADER_ROOMS["ip_address"])
    for key, name in (("hops", "hops"), ("probes", "probes"), ("timeout", "timeout"),
                      ("package_size", "packageSize")):
        entry[key] = int(header[name])
    probes = _Probes(getattr(r.module, "ICMP_CODES_FOR_CHARACTERS", {}))
    routes = list(context["routes"])
    results = context.results[1:]
    entry["hop"] = [_hop(r, host, hop, results[i] if i < len(results) else 0, probes)
                    for i, hop in enumerate(routes)]
    if probes.reply_mtu is not None:
        entry["reply_mtu"] = probes.reply_mtu
    return entry
