"""Packers for the records the platform functions fill.

Every offset here is written out by hand from the record layouts, on
purpose: the packers are an independent statement of the layout, so a
reader that gets an offset wrong does not agree with them by construction.

Each packer returns ``bytes`` of the record's full size, zero-filled where
nothing was given. Text values may be ``bytes`` (written as they are; a value
exactly as long as its room is stored without a terminator) or ``str``
(encoded as Latin-1, flash image names as UTF-8). Integer words accept
anything from the signed minimum to the unsigned maximum of their width, so
``-1`` and ``2**32 - 1`` give the same word. ``count=None`` stores the
number of entries given; an explicit count is stored as it is, hostile
values included.
"""

from __future__ import annotations

import struct
from collections.abc import Iterable, Mapping, Sequence
from typing import Any, TypeVar, Union

# A text field value: raw bytes, or str encoded as the field wants.
Text = Union[bytes, bytearray, str]
_T = TypeVar("_T")

__all__ = [
    "put", "text", "dot1x_status", "temp_list", "psu_list", "flash_list",
    "trace_header", "trace_response", "trace_context", "timestamp",
    "hostname_record",
    "DOT1X_TEXT_ROOMS", "SESSION_TEXT_ROOMS", "PSU_NAME_ROOM", "FLASH_IMAGE_ROOM",
    "TRACE_HEADER_ROOMS", "TRACE_RESPONSE_ROOMS", "HOSTNAME_ROOM", "TRACE_HOST_ROOM",
    "DOT1X_SIZE", "TEMP_SIZE", "PSU_SIZE", "FLASH_SIZE",
    "TRACE_HEADER_SIZE", "TRACE_RESPONSE_SIZE", "TRACE_CONTEXT_SIZE",
]

DOT1X_SIZE = 16840
TEMP_SIZE = 324
PSU_SIZE = 1576
FLASH_SIZE = 712
TRACE_HEADER_SIZE = 112
TRACE_RESPONSE_SIZE = 164
TRACE_CONTEXT_SIZE = 584
HOSTNAME_RECORD_SIZE = 40

# Rooms of the text fields, terminator included: the packers below and the
# scenario checks read them from here.
PSU_NAME_ROOM = 112
FLASH_IMAGE_ROOM = 64
TRACE_HEADER_ROOMS = {"host_name": 64, "ip_address": 32}
TRACE_RESPONSE_ROOMS = {"ip": 32, "host": 64}
HOSTNAME_ROOM = 36
# The host buffer the caller hands to init_trace_route.
TRACE_HOST_ROOM = 64


# ---- low-level helpers ------------------------------------------------------

def put(buf: bytearray, offset: int, fmt: str, value: Any) -> None:
    """struct.pack_into with little-endian standard sizes unless fmt says
    otherwise ("@l" for a native long, for instance)."""
    if fmt[:1] not in ("@", "=", "<", ">", "!"):
        fmt = "<" + fmt
    struct.pack_into(fmt, buf, offset, value)


def text(buf: bytearray, offset: int, room: int, value: Text, encoding: str = "latin-1") -> None:
    """Stores a text field: the bytes and, when they leave room, one NUL."""
    data = value.encode(encoding) if isinstance(value, str) else bytes(value)
    if len(data) > room:
        raise ValueError(f"text of {len(data)} bytes does not fit a room of {room}")
    buf[offset:offset + len(data)] = data
    if len(data) < room:
        buf[offset + len(data)] = 0


def _int(buf: bytearray, offset: int, value: int, bits: int = 32) -> None:
    low, high = -(1 << (bits - 1)), (1 << bits) - 1
    if not low <= value <= high:
        raise ValueError(f"{value} does not fit {bits} bits")
    put(buf, offset, "I" if bits == 32 else "H", value & high)


def _entries(items: Iterable[_T], limit: int, what: str) -> list[_T]:
    items = list(items)
    if len(items) > limit:
        raise ValueError(f"the record holds at most {limit} {what}")
    return items


def _count(items: Sequence[Any], count: int | None) -> int:
    return len(items) if count is None else count


# ---- 802.1X -------------------------------------------------------------------

# (offset, room) of the header texts and offset of the header words.
_DOT1X_TEXTS = {
    "name": (0, 64), "link_status": (72, 10), "port_status": (82, 114),
    "eap_pass_through": (196, 52), "allowed_vlanid": (256, 64),
    "untagged_vlanid": (320, 64), "guest_vlan": (388, 72),
    "auth_fail_vlan": (464, 136),
}
_DOT1X_WORDS = {
    "mode": 64, "mab": 68, "dynamic_vlanid": 248, "native_vlanid": 252,
    "guest_vlan_enable": 384, "auth_fail_vlan_enable": 460,
}
DOT1X_TEXT_ROOMS = {key: room for key, (_, room) in _DOT1X_TEXTS.items()}
_DOT1X_COUNT = 600
_DOT1X_MAX_SESSIONS = 20

_VLAN_BASE, _VLAN_SIZE = 620, 36
_VLAN_WORDS = {"native_vlan_id": 30, "traffic_vlan_id": 32, "dynamic_assigned_vlan_id": 34}

_SESSION_BASE, _SESSION_SIZE = 1340, 775
_SESSION_TEXTS = {
    "mac": (0, 20), "type": (20, 10), "eap": (30, 16), "eap_counter": (46, 16),
    "elapsed_time": (62, 16), "pae": (78, 16), "params": (94, 68),
    "security_group": (162, 36), "user": (198, 65), "brenlow_group": (263, 512),
}
SESSION_TEXT_ROOMS = {key: room for key, (_, room) in _SESSION_TEXTS.items()}


def _session(buf: bytearray, index: int, session: Mapping[str, Any]) -> None:
    unknown = set(session) - set(_SESSION_TEXTS) - set(_VLAN_WORDS)
    if unknown:
        raise TypeError(f"unknown session fields: {sorted(unknown)}")
    vlan = _VLAN_BASE + _VLAN_SIZE * index
    for key, offset in _VLAN_WORDS.items():
        _int(buf, vlan + offset, session.get(key, 0), bits=16)
    base = _SESSION_BASE + _SESSION_SIZE * index
    for key, (offset, room) in _SESSION_TEXTS.items():
        text(buf, base + offset, room, session.get(key, b""))


def dot1x_status(name: Text = b"", mode: int = 0, mab: int = 0, link_status: Text = b"",
                 port_status: Text = b"", eap_pass_through: Text = b"",
                 dynamic_vlanid: int = 0, native_vlanid: int = 0, allowed_vlanid: Text = b"",
                 untagged_vlanid: Text = b"", guest_vlan_enable: int = 0, guest_vlan: Text = b"",
                 auth_fail_vlan_enable: int = 0, auth_fail_vlan: Text = b"",
                 count: int | None = None,
                 sessions: Iterable[Mapping[str, Any]] = ()) -> bytes:
    """dot1x_status_info (16840 bytes): the header fields and up to 20
    sessions, dicts with mac, type, eap, eap_counter, elapsed_time, pae,
    params, security_group, user, brenlow_group (texts) and native_vlan_id,
    traffic_vlan_id, dynamic_assigned_vlan_id (16-bit words)."""
    fields = dict(locals())
    buf = bytearray(DOT1X_SIZE)
    for key, (offset, room) in _DOT1X_TEXTS.items():
        text(buf, offset, room, fields[key])
    for key, offset in _DOT1X_WORDS.items():
        _int(buf, offset, fields[key])
    sessions = _entries(sessions, _DOT1X_MAX_SESSIONS, "sessions")
    for index, session in enumerate(sessions):
        _session(buf, index, session)
    _int(buf, _DOT1X_COUNT, _count(sessions, count))
    return bytes(buf)


# ---- hardware -------------------------------------------------------------------

def temp_list(temps: Iterable[float], count: int | None = None) -> bytes:
    """temp_list_info (324 bytes): up to 8 readings, float at 36 of each
    40-byte entry, count at 320."""
    temps = _entries(temps, 8, "sensors")
    buf = bytearray(TEMP_SIZE)
    for index, value in enumerate(temps):
        put(buf, 40 * index + 36, "f", value)
    _int(buf, 320, _count(temps, count))
    return bytes(buf)


def psu_list(supplies: Iterable[tuple[Text, int, int]], count: int | None = None) -> bytes:
    """psu_list_info (1576 bytes): up to 13 (name, ok, connected) entries of
    120 bytes (name 0..111, ok at 112, connected at 116), count at 1568."""
    supplies = _entries(supplies, 13, "supplies")
    buf = bytearray(PSU_SIZE)
    for index, (name, ok, connected) in enumerate(supplies):
        base = 120 * index
        text(buf, base, PSU_NAME_ROOM, name)
        _int(buf, base + 112, int(ok))
        _int(buf, base + 116, int(connected))
    _int(buf, 1568, _count(supplies, count))
    return bytes(buf)


def _flash_entry(buf: bytearray, base: int, entry: Mapping[str, Any]) -> None:
    unknown = set(entry) - {"partition", "image", "tot_size", "used_size", "usage", "active"}
    if unknown:
        raise TypeError(f"unknown flash fields: {sorted(unknown)}")
    _int(buf, base, entry.get("partition", 0))
    text(buf, base + 4, FLASH_IMAGE_ROOM, entry.get("image", b""), encoding="utf-8")
    _int(buf, base + 68, entry.get("tot_size", 0))
    _int(buf, base + 72, entry.get("used_size", 0))
    _int(buf, base + 76, entry.get("usage", 0))
    _int(buf, base + 80, int(entry.get("active", 0)))


def flash_list(partitions: Iterable[Mapping[str, Any]], count: int | None = None) -> bytes:
    """flash_list_info (712 bytes): up to 8 dicts (partition, image,
    tot_size, used_size, usage, active) in 88-byte entries, count at 704."""
    partitions = _entries(partitions, 8, "partitions")
    buf = bytearray(FLASH_SIZE)
    for index, entry in enumerate(partitions):
        _flash_entry(buf, 88 * index, entry)
    _int(buf, 704, _count(partitions, count))
    return bytes(buf)


# ---- configuration ----------------------------------------------------------------

def timestamp(seconds: int) -> bytes:
    """A backup time as the platform's native long."""
    return struct.pack("@l", seconds)


def hostname_record(host_name: Text = b"", size: int = HOSTNAME_RECORD_SIZE,
                    fill: int = 0) -> bytes:
    """Start of the update record of object 11: host name at 4, room 36.
    fill sets every other byte, to see which bytes a writer touched."""
    buf = bytearray([fill]) * size
    text(buf, 4, HOSTNAME_ROOM, host_name)
    return bytes(buf)


# ---- traceroute ---------------------------------------------------------------------

def trace_header(host_name: Text = b"", ip_address: Text = b"", hops: int = 0, probes: int = 0,
                 timeout: int = 0, package_size: int = 0) -> bytes:
    """trace_route_header_info (112 bytes)."""
    buf = bytearray(TRACE_HEADER_SIZE)
    text(buf, 0, TRACE_HEADER_ROOMS["host_name"], host_name)
    text(buf, 64, TRACE_HEADER_ROOMS["ip_address"], ip_address)
    for offset, value in ((96, hops), (100, probes), (104, timeout), (108, package_size)):
        _int(buf, offset, value)
    return bytes(buf)


def trace_response(ttl: int, ip: Text, host: Text, probes: Iterable[tuple[int, int, float]] = (),
                   probe_count: int | None = None) -> bytes:
    """trace_route_response_info (164 bytes): probes are up to 5 (status,
    code, time) triples, 12 bytes each from offset 104."""
    probes = _entries(probes, 5, "probes")
    buf = bytearray(TRACE_RESPONSE_SIZE)
    _int(buf, 0, ttl)
    text(buf, 4, TRACE_RESPONSE_ROOMS["ip"], ip)
    text(buf, 36, TRACE_RESPONSE_ROOMS["host"], host)
    for index, (status, code, time) in enumerate(probes):
        base = 104 + 12 * index
        _int(buf, base, status)
        _int(buf, base + 4, code)
        put(buf, base + 8, "f", time)
    _int(buf, 100, _count(probes, probe_count))
    return bytes(buf)


def trace_context(reply_mtu: int) -> bytes:
    """Start of a trace context (pass as aux of init_trace_route): the reply
    MTU at offset 580."""
    buf = bytearray(TRACE_CONTEXT_SIZE)
    _int(buf, 580, reply_mtu)
    return bytes(buf)
