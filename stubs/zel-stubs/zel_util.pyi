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

def get_8021x_status(interface_name: _Text) -> Dot1xPortStatus: ...
def get_8021x_sessions(interface_name: _Text) -> list[Dot1xSession]: ...

# ---- hardware ------------------------------------------------------------------

def system_temperatures() -> tuple[float, ...]: ...
def has_temperature_sensor() -> bool: ...
def multiple_temperature_sensors() -> bool: ...
def psu_list() -> list[PSU]: ...
def get_flashs() -> list[FlashPartition]: ...

# ---- ports and configuration ---------------------------------------------------

def system_port_traffic(name: _Text) -> SystemPortStats: ...
def delete_sticky_mac_unsaved(name: _Text | None = None) -> int: ...
def set_hostname(hostname: _Text) -> int: ...
def get_last_backup() -> datetime | None: ...
def get_diag_debug_status() -> int: ...
def get_cmdb_max_buff() -> int: ...
def stp_instance_priority_default() -> int: ...

# ---- multicast traceroute ------------------------------------------------------

def get_safe_r_file() -> str | None: ...
def exec_mtraceroute(
    r_file: _Text,
    dst: _Text,
    confidence: int = 90,  # exactly int
    flow_id: SupportsInt = 5,
    max_ttl: int = 30,  # exactly int
) -> int: ...
def get_diagnostic_data(
    context: DiagnosticContext | SupportsItemAssignment,
    ip_host: _Text,
    ttl: int = 32,  # exactly int
    probes: int = 3,  # exactly int
    timeout: int = 15,  # exactly int
) -> None: ...
