"""The sections of a scenario, as msgspec Structs that refuse unknown keys
and wrong types, with the defaults a scenario leaves out and each section's
own checks across its keys."""

from __future__ import annotations

import datetime
from typing import Annotated

import msgspec
from msgspec import UNSET, Meta, UnsetType, field

from . import _ports, records
from ._values import (
    BackupTime,
    Counter,
    Counter_name,
    Float32,
    FunctionName,
    Key,
    Probe,
    Seconds,
    Text,
    Vlan,
    Word,
    _Strict,
    _check_float32,
    _check_key,
    _check_texts,
    _unique,
    _unique_values,
    _whole,
)


class System(_Strict):
    """[system]: hostname, last backup and the configuration answers."""

    text_rooms = {"hostname": records.HOSTNAME_ROOM}

    hostname: Text = ""
    backup_time: BackupTime = False
    diag_debug: Word = 0
    data_channel_unit: Word = 0
    flush_result: Word = 0
    config_result: Word = 0
    query_update: bool = True
    unknown_port_result: Word = -1

    def __post_init__(self) -> None:
        _check_texts(self)
        if isinstance(self.backup_time, datetime.datetime):
            seconds = int(self.backup_time.timestamp())
            if not -(2**31) <= seconds < 2**31:
                raise ValueError(f"`backup_time` {self.backup_time.isoformat()} does not fit "
                                 "the platform's 32-bit time")


class Session(_Strict):
    """[[dot1x.sessions]]: one 802.1X session (up to 20 per interface)."""

    text_rooms = records.SESSION_TEXT_ROOMS

    mac: Text = ""
    type: Text = ""
    eap: Text = ""
    eap_counter: Text = ""
    elapsed_time: Text = ""
    pae: Text = ""
    params: Text = ""
    security_group: Text = ""
    user: Text = ""
    brenlow_group: Text = ""
    native_vlan_id: Vlan = 0
    traffic_vlan_id: Vlan = 0
    dynamic_assigned_vlan_id: Vlan = 0

    def __post_init__(self) -> None:
        _check_texts(self)


class Dot1x(_Strict):
    """[[dot1x]]: the 802.1X state of one interface; name defaults to interface."""

    text_rooms = records.DOT1X_TEXT_ROOMS

    interface: Key
    result: Word = 1
    delay: Seconds = 0.0
    name: Text | None = None
    link_status: Text = ""
    port_status: Text = ""
    eap_pass_through: Text = ""
    allowed_vlanid: Text = ""
    untagged_vlanid: Text = ""
    guest_vlan: Text = ""
    auth_fail_vlan: Text = ""
    mode: Word = 0
    mab: Word = 0
    dynamic_vlanid: Word = 0
    native_vlanid: Word = 0
    guest_vlan_enable: Word = 0
    auth_fail_vlan_enable: Word = 0
    count: Word | None = None
    sessions: Annotated[list[Session], Meta(max_length=20)] = []

    def __post_init__(self) -> None:
        _check_key(self.interface, "interface")
        if self.name is None:
            self.name = self.interface
        if self.count is None:
            self.count = len(self.sessions)
        _check_texts(self)


class Port(_Strict):
    """[[port]]: the traffic counters of one port, served as counter files."""

    name: Key
    tx_packets: Counter = 0
    tx_bytes: Counter = 0
    rx_packets: Counter = 0
    rx_bytes: Counter = 0
    unreadable: list[Counter_name] = []

    def __post_init__(self) -> None:
        problem = _ports.name_problem(self.name)
        if problem is not None:
            raise ValueError(problem)
        for counter in _ports.COUNTERS:
            if getattr(self, counter) >= 2**64:
                raise ValueError(f"`{counter}` does not fit the 64-bit counter")
        _unique_values(self.unreadable, "unreadable")


class Psu(_Strict):
    """[[hardware.psu]]: one power supply (up to 13)."""

    text_rooms = {"name": records.PSU_NAME_ROOM}

    name: Text
    ok: Word = 1
    connected: Word = 1

    def __post_init__(self) -> None:
        _check_texts(self)


class Flash(_Strict):
    """[[hardware.flash]]: one flash partition (up to 8); image "" = none."""

    text_rooms = {"image": records.FLASH_IMAGE_ROOM}
    text_encoding = "utf-8"

    partition: Word = 0
    image: Text = ""
    tot_size: Word = 0
    used_size: Word = 0
    usage: Word = 0
    active: Word = 0

    def __post_init__(self) -> None:
        _check_texts(self)


class Hardware(_Strict):
    """[hardware]: temperature readings, power supplies, flash partitions."""

    temperatures: Annotated[list[Float32], Meta(max_length=8)] = []
    psu: Annotated[list[Psu], Meta(max_length=13)] = []
    flash: Annotated[list[Flash], Meta(max_length=8)] = []

    def __post_init__(self) -> None:
        for index, value in enumerate(self.temperatures):
            _check_float32(value, f"temperatures[{index}]")


class Mtraceroute(_Strict):
    """[mtraceroute]: what api_mtraceroute answers, and how long it takes."""

    result: Word = 0
    delay: Seconds = 0.0


class Hop(_Strict):
    """One hop of a route: ttl defaults to its position; the last hop ends
    the trace (result 1), the others answer 0 unless given (never 1)."""

    text_rooms = records.TRACE_RESPONSE_ROOMS

    ttl: Word | None = None
    ip: Text = ""
    host: Text = ""
    probes: Annotated[list[Probe], Meta(max_length=5)] = []
    probe_count: Word | None = None
    delay: Seconds = 0.0
    result: Word | None = None

    def __post_init__(self) -> None:
        _check_texts(self)
        for index, (_, _, time) in enumerate(self.probes):
            _check_float32(time, f"probes[{index}] time")
        if self.probe_count is None:
            self.probe_count = len(self.probes)


def _finish_hops(hops: list[Hop], where: str) -> None:
    """Numbers the hops and settles their results: the last hop ends the
    trace (1), every other one says more follow (0 unless given)."""
    for index, hop in enumerate(hops):
        last = index == len(hops) - 1
        if hop.ttl is None:
            hop.ttl = index + 1
        if last and hop.result not in (None, 1):
            raise ValueError(f"{where}[{index}]: the last hop ends the trace, so its `result` "
                             f"is 1, not {hop.result}")
        if not last and hop.result == 1:
            raise ValueError(f"{where}[{index}]: `result` 1 ends the trace, but "
                             f"{len(hops) - index - 1} hop(s) follow")
        if hop.result is None:
            hop.result = 1 if last else 0


_ROUTE_KEYS = ("result", "delay", "host_name", "ip_address", "hops", "probes", "timeout",
               "package_size", "reply_mtu", "hop")
_HEADER_ROOMS = dict(records.TRACE_HEADER_ROOMS)


class Destination(_Strict):
    """The route to one target; keys left out are those of [traceroute]."""

    text_rooms = {"target": records.TRACE_HOST_ROOM, **_HEADER_ROOMS}

    target: Key
    result: Word | UnsetType = UNSET
    delay: Seconds | UnsetType = UNSET
    host_name: Text | UnsetType = UNSET
    ip_address: Text | UnsetType = UNSET
    hops: Word | UnsetType = UNSET
    probes: Word | UnsetType = UNSET
    timeout: Word | UnsetType = UNSET
    package_size: Word | UnsetType = UNSET
    reply_mtu: Word | UnsetType = UNSET
    hop: list[Hop] | UnsetType = UNSET

    def __post_init__(self) -> None:
        _check_texts(self)


class Traceroute(_Strict):
    """init_trace_route and the hops of every target no destination names."""

    text_rooms = _HEADER_ROOMS

    result: Word = 1
    delay: Seconds = 0.0
    host_name: Text = ""
    ip_address: Text = ""
    hops: Word = 30
    probes: Word = 3
    timeout: Word = 5
    package_size: Word = 60
    reply_mtu: Word = 1500
    hop: list[Hop] = []
    destination: list[Destination] = []

    def __post_init__(self) -> None:
        _check_texts(self)
        _unique(self.destination, "target", "destination")
        if not _whole.get():
            return
        self._check_route(self, "traceroute")
        for index, dest in enumerate(self.destination):
            for key in _ROUTE_KEYS:
                if getattr(dest, key) is UNSET:
                    value = getattr(self, key)
                    if key == "hop":
                        value = [msgspec.structs.replace(hop) for hop in value]
                    setattr(dest, key, value)
            self._check_route(dest, f"traceroute.destination[{index}]")

    @staticmethod
    def _check_route(route: Traceroute | Destination, where: str) -> None:
        hops = route.hop
        assert isinstance(hops, list)
        if route.result != 0 and not hops:
            raise ValueError(f"{where}: the trace starts (`result` {route.result}) but has no "
                             "hop; give its hops, or `result` = 0 for a trace that cannot start")
        _finish_hops(hops, f"{where}.hop")


def _no_trace() -> Traceroute:
    return Traceroute(result=0)


class Scenario(_Strict):
    """A whole switch. Sections left out take their defaults: no 802.1X
    interface, port, sensor, supply or partition, and no trace."""

    extends: str | None = None
    system: System = field(default_factory=System)
    dot1x: list[Dot1x] = []
    port: list[Port] = []
    hardware: Hardware = field(default_factory=Hardware)
    mtraceroute: Mtraceroute = field(default_factory=Mtraceroute)
    traceroute: Traceroute = field(default_factory=_no_trace)
    fail: dict[FunctionName, Word] = {}
    slow: dict[FunctionName, Seconds] = {}

    def __post_init__(self) -> None:
        _unique(self.dot1x, "interface", "dot1x")
        _unique(self.port, "name", "port")
        clash = _ports.clash(p.name for p in self.port)
        if clash is not None:
            raise ValueError(clash[1])


