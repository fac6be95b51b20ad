"""Type information for zel.zel_util, the native bridge from the web
back-end to the switch's platform libraries.

The TypedDicts, the Protocol and the aliases below exist only for type
checking: the functions return plain dicts at run time. Import them under
``if TYPE_CHECKING:`` (or write annotations as strings). ``PSU``,
``SystemPortStats`` and ``TraceRouteSettings`` are real classes of the module.

Parameters documented as "exactly int" refuse ``bool`` and ``IntEnum``
members at run time (TypeError), which a type checker cannot see: both are
subtypes of ``int``. See docs/reference.md for results, key orders and
exceptions.
"""

import fcntl as fcntl
import logging
import os as os
from collections import namedtuple as namedtuple
from collections.abc import Callable
from datetime import datetime as datetime
from enum import IntEnum as IntEnum
from logging import getLogger as getLogger
from time import sleep as sleep
from typing import (
    Any,
    NamedTuple,
    NotRequired,
    Protocol,
    SupportsInt,
    TypeAlias,
    TypedDict,
    TypeVar,
    overload,
    type_check_only,
)

_T = TypeVar("_T")

# ---- imported names ------------------------------------------------------------
# The module looks these up in its own namespace at each use, so rebinding one
# (in a test, say) changes what later calls do.

# zovrak.modules.modules_util.get_routing_table_result: called with the
# traceroute destination's address text; its result is stored unchanged.
get_routing_table_result: Callable[[str], Any]

# util.errors.CFunctionError, raised when a platform function fails, with the
# function's name and, where there is one, its int status code as args.
# util.errors carries no type information, hence the plain exception type.
CFunctionError: type[Exception]

# pyramid.compat's text conversions: str -> bytes and bytes -> str (Latin-1
# unless an encoding is given); any other object is returned unchanged.
@overload
def bytes_(s: str, encoding: str = "latin-1", errors: str = "strict") -> bytes: ...
@overload
def bytes_(s: _T, encoding: str = "latin-1", errors: str = "strict") -> _T: ...
@overload
def text_(s: bytes, encoding: str = "latin-1", errors: str = "strict") -> str: ...
@overload
def text_(s: _T, encoding: str = "latin-1", errors: str = "strict") -> _T: ...

# ---- module-level objects --------------------------------------------------------

_logger: logging.Logger
_KEY: bytes  # b"sys_confroot": the platform's key of the backup time
_CHARSET: str  # "utf-8": encoding of exec_mtraceroute's texts
# Filled by the first successful has_temperature_sensor() /
# multiple_temperature_sensors(); None until then (bind None to recompute).
_HAS_TEMPERATURE_SENSOR: bool | None
_MULTIPLE_TEMPERATURE_SENSORS: bool | None
__test__: dict[str, Any]

_Text: TypeAlias = str | bytes | bytearray  # a str is encoded by bytes_; bytes are used as they are

class PSU(NamedTuple):
    name: str  # display name, "PSU " + the platform's name after "PSU"
    connected: bool
    ok: bool

class SystemPortStats(NamedTuple):
    tx_packets: int
    tx_bytes: int
    rx_packets: int
    rx_bytes: int

class TraceRouteSettings(IntEnum):
    ttl = 32
    probes = 3
    timeout = 5
    max_ttl = 64
    max_probes = 5  # same value as timeout: an alias of that member at run time
    max_timeout = 10

# Reply code of a traceroute probe -> the annotation shown after its time.
ICMP_CODES_FOR_CHARACTERS: dict[int, str]

# ---- result shapes (typing only) -------------------------------------------------
# The runtime dicts hold their keys in the order written here.

@type_check_only
class Dot1xPortSession(TypedDict):
    """A session of get_8021x_status(...)["sessions"]."""

    mac: str
    type: str
    eap: str
    eap_counter: str
    pae: str
    elapsed_time: str
    params: str
    traffic_vlan_id: int  # 0..65535
    dynamic_assigned_vlan_id: int  # 0..65535
    user: str
    security_group: str
    brenlow_group: str

@type_check_only
class Dot1xPortStatus(TypedDict):
    """get_8021x_status(): one interface's 802.1X state."""

    name: str
    mode: int
    mab: int
    link_status: str
    port_status: str  # every ":" removed
    eap_pass_through: str
    dynamic_vlanid: int
    native_vlanid: int
    allowed_vlanid: str
    untagged_vlanid: str
    guest_vlan_enable: int
    guest_vlan: str
    auth_fail_vlan_enable: int
    auth_fail_vlan: str
    sessions: list[Dot1xPortSession]

@type_check_only
class Dot1xSession(TypedDict):
    """An entry of get_8021x_sessions(): a port session plus the interface
    and the session's native VLAN."""

    mac: str
    interface: str
    type: str
    eap: str
    eap_counter: str
    pae: str
    elapsed_time: str
    params: str
    native_vlan_id: int  # 0..65535
    traffic_vlan_id: int  # 0..65535
    dynamic_assigned_vlan_id: int  # 0..65535
    user: str
    security_group: str
    brenlow_group: str

@type_check_only
class FlashPartition(TypedDict):
    """An entry of get_flashs()."""

    partition: int
    image: str  # "" for a partition without an image
    tot_size: int
    used_size: int
    usage: int
    active: int  # the platform's number, not a bool

@type_check_only
class TraceRouteHeader(TypedDict):
    """context["traceRouteHeader"] after get_diagnostic_data()."""

    hostName: str
    ipAddress: str
    hops: int
    probes: int
    timeout: int
    packageSize: int

@type_check_only
class TraceRouteHop(TypedDict):
    """An entry of context["routes"] after get_diagnostic_data().

    The probe keys are "time1", "time2", ... one per probe the hop reports,
    and a hop reports at most five probes (the platform record holds five),
    so the five keys below are all there can be; "timeN" is present exactly
    when the hop reported at least N probes. A value is the time text
    ("12.250"), with an annotation after a blank for a reply code
    ("12.250 !H"), "sent fail", or None when no reply came.
    """

    ttl: int
    ipAddress: str
    hostName: str
    time1: NotRequired[str | None]
    time2: NotRequired[str | None]
    time3: NotRequired[str | None]
    time4: NotRequired[str | None]
    time5: NotRequired[str | None]

@type_check_only
class DiagnosticContext(TypedDict, total=False):
    """The keys get_diagnostic_data() writes into its context."""

    result: int  # -1 start failed, 0 started, then each query's result (1: done)
    routingTable: Any  # get_routing_table_result(header address)
    traceRouteHeader: TraceRouteHeader
    routes: list[TraceRouteHop]  # grows while the trace runs

@type_check_only
class SupportsItemAssignment(Protocol):
    """Any mapping the caller shares with get_diagnostic_data (a dict[str,
    Any], say): the function only assigns to it, never reads it."""

    def __setitem__(self, key: str, value: Any, /) -> None: ...

# ---- 802.1X --------------------------------------------------------------------

def get_8021x_status(interface_name: _Text) -> Dot1xPortStatus:
    """The 802.1X state of one interface, with its sessions (at most 20).

    Integers are the platform's codes and VLAN ids; texts (elapsed_time
    included) are passed on as the platform writes them; ":" is removed
    from port_status. Holds the interpreter lock throughout.

    Raises CFunctionError("dump_tessel_802_1x_status", code) when the
    platform fails, CFunctionError("PyMem_Malloc") when out of memory,
    TypeError or UnicodeEncodeError for a name that is not Latin-1 text.
    """

def get_8021x_sessions(interface_name: _Text) -> list[Dot1xSession]:
    """The 802.1X sessions of one interface as a flat list ([] without any).

    Same platform call, texts and exceptions as get_8021x_status; each
    entry also carries the interface name and the session's native VLAN.
    """

# ---- hardware ------------------------------------------------------------------

def system_temperatures() -> tuple[float, ...]:
    """One reading per temperature sensor (at most 8), in the platform's
    order and unit, unconverted; () without sensors.

    Raises CFunctionError("get_temp_list", result) when the platform fails.
    """

def has_temperature_sensor() -> bool:
    """Whether system_temperatures() has a reading; asked once, then kept in
    _HAS_TEMPERATURE_SENSOR (bind None to ask again).

    Raises what system_temperatures() raises (nothing is kept then).
    """

def multiple_temperature_sensors() -> bool:
    """Whether system_temperatures() has more than one reading; asked once,
    then kept in _MULTIPLE_TEMPERATURE_SENSORS (bind None to ask again).

    Raises what system_temperatures() raises (nothing is kept then).
    """

def psu_list() -> list[PSU]:
    """The power supplies (at most 13): PSU(name, connected, ok), the name
    as "PSU " followed by what follows "PSU" in the platform's name.

    Raises CFunctionError("get_psu_list", result) when the platform fails,
    IndexError when a platform name lacks "PSU".
    """

def get_flashs() -> list[FlashPartition]:
    """The flash partitions (at most 8): those without an image first.

    tot_size, used_size and usage are the platform's unsigned 32-bit
    figures, in its units, unconverted. Raises UnicodeDecodeError for an
    image name that is not UTF-8; a platform failure is not detected.
    """

# ---- ports and configuration ---------------------------------------------------

def system_port_traffic(name: _Text) -> SystemPortStats:
    """A port's kernel counters: packets and bytes sent and received.

    A counter file that cannot be read counts as 0 and is reported to
    sys.unraisablehook; the call fails only for a bad name (TypeError,
    UnicodeEncodeError).
    """

def delete_sticky_mac_unsaved(name: _Text | None = None) -> int:
    """Flushes the unsaved sticky MAC entries, of one interface or (None)
    without naming one; returns the platform's status unchanged (no
    exception for a failure)."""

def set_hostname(hostname: _Text) -> int:
    """Commits a new host name (at most 35 bytes kept) through the
    configuration database; returns its status unchanged, -1 when no
    update record is available. Raises only for a bad argument."""

def get_last_backup() -> datetime | None:
    """The last configuration backup as a naive datetime in the host's local
    time (whole seconds), or None when the platform has none."""

def get_diag_debug_status() -> int:
    """The platform's diagnostic-debug flag as it reports it (0, 1, ...)."""

def get_cmdb_max_buff() -> int:
    """4095: the configuration database's buffer limit."""

def stp_instance_priority_default() -> int:
    """32768: the default spanning-tree bridge priority."""

# ---- multicast traceroute ------------------------------------------------------

def get_safe_r_file() -> str | None:
    """Reserves a traceroute result file: creates the empty file
    /tmp/mtraceroute_<n> for the lowest free n in 0..999 and returns n as
    text, or None when all are taken. The file is never removed.

    Raises the OSError of os.open, os.fdopen or fcntl.flock (PermissionError,
    say), except the FileExistsError and BlockingIOError that skip a number.
    """

def exec_mtraceroute(
    r_file: _Text,
    dst: _Text,
    confidence: int = 90,  # exactly int
    flow_id: SupportsInt = 5,
    max_ttl: int = 30,  # exactly int
) -> int:
    """Launches a multicast traceroute to dst with the result file r_file
    (from get_safe_r_file()); returns the platform's result unchanged.
    Releases the interpreter lock while the platform runs.

    Raises ValueError("r_file is empty") for a false r_file, TypeError for
    a confidence or max_ttl that is not exactly int (bool refused),
    OverflowError beyond 32 bits.
    """

def get_diagnostic_data(
    context: DiagnosticContext | SupportsItemAssignment,
    ip_host: _Text,
    ttl: int = 32,  # exactly int
    probes: int = 3,  # exactly int
    timeout: int = 15,  # exactly int
) -> None:
    """Runs a traceroute to ip_host, writing its progress into context hop
    by hop ("result", "routingTable", "traceRouteHeader", a growing
    "routes"), so another thread can show it while it runs. "result" is -1
    when the trace could not start, 1 when it is done.

    Probe times are the platform's figures with three decimals ("12.250"),
    in its unit. The call lasts as long as the trace (0.2 s pause between
    hops) and releases the interpreter lock while it waits. Raises
    TypeError for a ttl, probes or timeout that is not exactly int,
    OverflowError beyond 32 bits, or what writing into context raises.
    """
