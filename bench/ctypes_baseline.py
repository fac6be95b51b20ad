"""zel.zel_util written in plain Python over ctypes.

This is how a back-end developer without a native extension would write the
module's functions: load the platform library with ctypes, declare the
platform functions and the records as ctypes structures, and build the
results in Python. The benchmark measures the module against it, and checks
first that both give the same results, so the comparison is honest.

It uses what the module uses: the same platform library (the simulator),
the same sibling exports (`system_port_stat_path`, `strtcpy`, the counter-name
variables, through their `__pyx_capi__` capsules), `bytes_`/`text_` from
`pyramid.compat`, `CFunctionError` and `get_routing_table_result`. Module-level
names are ordinary globals, so rebinding `sleep` or `os` here works as in the
module. Error paths are kept simple: only the results matter for the
benchmark.
"""

import collections
import ctypes
import fcntl
import importlib
import os
import traceback
import warnings
from ctypes import POINTER, Structure, byref, c_char, c_float, c_int, c_int32, c_long
from ctypes import c_uint16, c_uint32, c_ubyte, c_void_p, sizeof
from datetime import datetime
from time import sleep

import zel_sim
from util.errors import CFunctionError
from zovrak.modules.modules_util import get_routing_table_result

with warnings.catch_warnings():
    warnings.simplefilter("ignore", DeprecationWarning)
    from pyramid.compat import bytes_, text_

_KEY = b"sys_confroot"
_CHARSET = "utf-8"
_HAS_TEMPERATURE_SENSOR = None
_MULTIPLE_TEMPERATURE_SENSORS = None

PSU = collections.namedtuple("PSU", "name connected ok")
SystemPortStats = collections.namedtuple(
    "SystemPortStats", "tx_packets tx_bytes rx_packets rx_bytes")

ICMP_CODES_FOR_CHARACTERS = {
    -2: "!", 3: "!", 0: "!N", 1: "!H", 2: "!N", 4: "!F", 5: "!S", 13: "!X", 14: "!V", 15: "!C",
}


# ---- records ------------------------------------------------------------------


class dot1x_session_vlan_info(Structure):
    _fields_ = [
        ("reserved", c_ubyte * 30),
        ("native_vlan_id", c_uint16),
        ("traffic_vlan_id", c_uint16),
        ("dynamic_assigned_vlan_id", c_uint16),
    ]


class dot1x_session_info(Structure):
    _fields_ = [
        ("mac", c_char * 20),
        ("type", c_char * 10),
        ("eap", c_char * 16),
        ("eap_counter", c_char * 16),
        ("elapsed_time", c_char * 16),
        ("pae", c_char * 16),
        ("params", c_char * 68),
        ("security_group", c_char * 36),
        ("user", c_char * 65),
        ("brenlow_group", c_char * 512),
    ]


class dot1x_status_info(Structure):
    _fields_ = [
        ("name", c_char * 64),
        ("mode", c_int32),
        ("mab", c_int32),
        ("link_status", c_char * 10),
        ("port_status", c_char * 114),
        ("eap_pass_through", c_char * 52),
        ("dynamic_vlanid", c_int32),
        ("native_vlanid", c_int32),
        ("allowed_vlanid", c_char * 64),
        ("untagged_vlanid", c_char * 64),
        ("guest_vlan_enable", c_int32),
        ("guest_vlan", c_char * 72),
        ("auth_fail_vlan_enable", c_int32),
        ("auth_fail_vlan", c_char * 136),
        ("count", c_int32),
        ("reserved", c_ubyte * 16),
        ("vlan", dot1x_session_vlan_info * 20),
        ("session", dot1x_session_info * 20),
    ]


class temp_sensor_info(Structure):
    _fields_ = [("reserved", c_ubyte * 36), ("temperature", c_float)]


class temp_list_info(Structure):
    _fields_ = [("entries", temp_sensor_info * 8), ("count", c_int32)]


class psu_info(Structure):
    _fields_ = [("name", c_char * 112), ("ok", c_int32), ("connected", c_int32)]


class psu_list_info(Structure):
    _fields_ = [
        ("entries", psu_info * 13),
        ("reserved", c_ubyte * 8),
        ("count", c_int32),
        ("reserved2", c_ubyte * 4),
    ]


class flash_info(Structure):
    _fields_ = [
        ("partition", c_int32),
        ("image", c_char * 64),
        ("tot_size", c_uint32),
        ("used_size", c_uint32),
        ("usage", c_uint32),
        ("active", c_int32),
        ("reserved", c_ubyte * 4),
    ]


class flash_list_info(Structure):
    _fields_ = [("entries", flash_info * 8), ("count", c_int32), ("reserved", c_ubyte * 4)]


class trace_route_header_info(Structure):
    _fields_ = [
        ("host_name", c_char * 64),
        ("ip_address", c_char * 32),
        ("hops", c_int32),
        ("probes", c_int32),
        ("timeout", c_int32),
        ("package_size", c_int32),
    ]


class trace_route_probe_info(Structure):
    _fields_ = [("status", c_int32), ("code", c_int32), ("time", c_float)]


class trace_route_response_info(Structure):
    _fields_ = [
        ("ttl", c_int32),
        ("ip_address", c_char * 32),
        ("host_name", c_char * 64),
        ("probe_count", c_int32),
        ("probe", trace_route_probe_info * 5),
    ]


for _record, _size in [(dot1x_status_info, 16840), (temp_list_info, 324), (psu_list_info, 1576),
                       (flash_list_info, 712), (trace_route_header_info, 112),
                       (trace_route_response_info, 164)]:
    assert sizeof(_record) == _size, _record
assert dot1x_status_info.count.offset == 600 and dot1x_status_info.session.offset == 1340
assert psu_list_info.count.offset == 1568 and flash_list_info.count.offset == 704

_REPLY_MTU_OFFSET = 580

# ---- the platform library -----------------------------------------------------

_lib = ctypes.CDLL(zel_sim.LIBRARY)


def _declare(name, restype, *argtypes):
    function = getattr(_lib, name)
    function.restype = restype
    function.argtypes = list(argtypes)
    return function


_dump_tessel_802_1x_status = _declare(
    "dump_tessel_802_1x_status", c_int, ctypes.c_char_p, POINTER(dot1x_status_info))
_get_temp_list = _declare("get_temp_list", c_int, POINTER(temp_list_info))
_get_psu_list = _declare("get_psu_list", c_int, POINTER(psu_list_info))
_get_flash_list = _declare("get_flash_list", c_int, POINTER(flash_list_info))
_plat_switch_get_data_channel_unit = _declare("plat_switch_get_data_channel_unit", c_int)
_sms_do_flush = _declare("sms_do_flush", c_int, c_int, ctypes.c_char_p)
_check_create_zel_query = _declare("check_create_zel_query", c_int, c_int)
_zel_query_update = _declare("zel_query_update", c_void_p, c_void_p)
_nCfg_obj_change = _declare("nCfg_obj_change", c_int, c_int, c_void_p)
_backupts_GetTimeStamp = _declare(
    "backupts_GetTimeStamp", c_int, ctypes.c_char_p, POINTER(c_long))
_is_diag_debug_enabled = _declare("is_diag_debug_enabled", c_int)
_api_mtraceroute = _declare(
    "api_mtraceroute", c_int, ctypes.c_char_p, c_int, c_int, c_int, ctypes.c_char_p)
_init_trace_route = _declare("init_trace_route", c_void_p, ctypes.c_char_p, c_int, c_int, c_int,
                             POINTER(trace_route_header_info))
_query_trace_route = _declare(
    "query_trace_route", c_int, c_void_p, POINTER(trace_route_response_info))
_free_trace_route = _declare("free_trace_route", c_int, c_void_p)
_nCfg = c_void_p.in_dll(_lib, "nCfg")

_HOSTNAME_OBJECT = 11

# ---- sibling exports ----------------------------------------------------------

_capsule_pointer = ctypes.pythonapi.PyCapsule_GetPointer
_capsule_pointer.restype = c_void_p
_capsule_pointer.argtypes = [ctypes.py_object, ctypes.c_char_p]


def _c_export(module, name, signature):
    table = importlib.import_module(module).__pyx_capi__
    return _capsule_pointer(table[name], signature.encode())


_system_port_stat_path = ctypes.CFUNCTYPE(ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p)(
    _c_export("zel.zel", "system_port_stat_path", "char const *(char *, char *)"))
_strtcpy = ctypes.CFUNCTYPE(c_int, ctypes.c_char_p, c_int, ctypes.c_char_p)(
    _c_export("util.string", "strtcpy", "int (char *, int, char const *)"))
_COUNTER_FILES = [
    ctypes.c_char_p.from_address(_c_export("zel.zel", name, "char *"))
    for name in ("SYS_CLASS_NET_STATS_TX_PKTS", "SYS_CLASS_NET_STATS_TX_BYTES",
                 "SYS_CLASS_NET_STATS_RX_PKTS", "SYS_CLASS_NET_STATS_RX_BYTES")
]


def _require_int(name, value):
    if type(value) is not int:
        raise TypeError(f"Argument '{name}' has incorrect type "
                        f"(expected int, got {type(value).__name__})")


# ---- configuration queries ------------------------------------------------------


def get_last_backup():
    key = ctypes.create_string_buffer(20)
    _strtcpy(key, 20, _KEY)
    timestamp = c_long()
    if _backupts_GetTimeStamp(key, byref(timestamp)) != 1:
        return None
    return datetime.fromtimestamp(timestamp.value)


def get_diag_debug_status():
    return _is_diag_debug_enabled()


def get_cmdb_max_buff():
    return 4095


def stp_instance_priority_default():
    return 32768


# ---- 802.1X -------------------------------------------------------------------------


def _dot1x_status(interface_name):
    info = dot1x_status_info()
    code = _dump_tessel_802_1x_status(bytes_(interface_name), byref(info))
    if code != 1:
        raise CFunctionError("dump_tessel_802_1x_status", code)
    return info


def get_8021x_status(interface_name):
    info = _dot1x_status(interface_name)
    sessions = []
    for i in range(min(info.count, 20)):
        s = info.session[i]
        v = info.vlan[i]
        sessions.append({
            "mac": text_(s.mac),
            "type": text_(s.type),
            "eap": text_(s.eap),
            "eap_counter": text_(s.eap_counter),
            "pae": text_(s.pae),
            "elapsed_time": text_(s.elapsed_time),
            "params": text_(s.params),
            "traffic_vlan_id": v.traffic_vlan_id,
            "dynamic_assigned_vlan_id": v.dynamic_assigned_vlan_id,
            "user": text_(s.user),
            "security_group": text_(s.security_group),
            "brenlow_group": text_(s.brenlow_group),
        })
    return {
        "name": text_(info.name),
        "mode": info.mode,
        "mab": info.mab,
        "link_status": text_(info.link_status),
        "port_status": text_(info.port_status).replace(":", ""),
        "eap_pass_through": text_(info.eap_pass_through),
        "dynamic_vlanid": info.dynamic_vlanid,
        "native_vlanid": info.native_vlanid,
        "allowed_vlanid": text_(info.allowed_vlanid),
        "untagged_vlanid": text_(info.untagged_vlanid),
        "guest_vlan_enable": info.guest_vlan_enable,
        "guest_vlan": text_(info.guest_vlan),
        "auth_fail_vlan_enable": info.auth_fail_vlan_enable,
        "auth_fail_vlan": text_(info.auth_fail_vlan),
        "sessions": sessions,
    }


def get_8021x_sessions(interface_name):
    info = _dot1x_status(interface_name)
    interface = text_(info.name)
    sessions = []
    for i in range(min(info.count, 20)):
        s = info.session[i]
        v = info.vlan[i]
        sessions.append({
            "mac": text_(s.mac),
            "interface": interface,
            "type": text_(s.type),
            "eap": text_(s.eap),
            "eap_counter": text_(s.eap_counter),
            "pae": text_(s.pae),
            "elapsed_time": text_(s.elapsed_time),
            "params": text_(s.params),
            "native_vlan_id": v.native_vlan_id,
            "traffic_vlan_id": v.traffic_vlan_id,
            "dynamic_assigned_vlan_id": v.dynamic_assigned_vlan_id,
            "user": text_(s.user),
            "security_group": text_(s.security_group),
            "brenlow_group": text_(s.brenlow_group),
        })
    return sessions


# ---- hardware ---------------------------------------------------------------------


def system_temperatures():
    status = temp_list_info()
    result = _get_temp_list(byref(status))
    if result != 0:
        raise CFunctionError("get_temp_list", result)
    return tuple(status.entries[i].temperature for i in range(min(status.count, 8)))


def has_temperature_sensor():
    global _HAS_TEMPERATURE_SENSOR
    if _HAS_TEMPERATURE_SENSOR is None:
        _HAS_TEMPERATURE_SENSOR = len(system_temperatures()) >= 1
    return _HAS_TEMPERATURE_SENSOR


def multiple_temperature_sensors():
    global _MULTIPLE_TEMPERATURE_SENSORS
    if _MULTIPLE_TEMPERATURE_SENSORS is None:
        _MULTIPLE_TEMPERATURE_SENSORS = len(system_temperatures()) > 1
    return _MULTIPLE_TEMPERATURE_SENSORS


def psu_list():
    psu_status = psu_list_info()
    result = _get_psu_list(byref(psu_status))
    if result != 0:
        raise CFunctionError("get_psu_list", result)
    supplies = []
    for i in range(min(psu_status.count, 13)):
        entry = psu_status.entries[i]
        name = "PSU " + text_(entry.name).split("PSU")[1]
        supplies.append(PSU(name, entry.connected != 0, entry.ok != 0))
    return supplies


def get_flashs():
    f = flash_list_info()
    _get_flash_list(byref(f))
    without_image, with_image = [], []
    for i in range(min(f.count, 8)):
        entry = f.entries[i]
        d = {
            "partition": entry.partition,
            "image": entry.image.decode("utf-8"),
            "tot_size": entry.tot_size,
            "used_size": entry.used_size,
            "usage": entry.usage,
            "active": entry.active,
        }
        (with_image if d["image"] != "" else without_image).append(d)
    return without_image + with_image


# ---- ports and configuration ---------------------------------------------------------


def _system_port_stat(name, stat):
    try:
        path = _system_port_stat_path(name, stat)
        with open(path, "r") as counter:
            value = int(counter.readline().rstrip())
        if not 0 <= value < 1 << 64:
            raise OverflowError(f"counter out of range: {value}")
        return value
    except Exception:
        traceback.print_exc()
        return 0


def system_port_traffic(name):
    name_bytes = bytes_(name)
    values = [_system_port_stat(name_bytes, counter.value) for counter in _COUNTER_FILES]
    return SystemPortStats(*values)


def delete_sticky_mac_unsaved(name=None):
    unit = _plat_switch_get_data_channel_unit()
    if name is None:
        return _sms_do_flush(unit, None)
    return _sms_do_flush(unit, bytes_(name))


def set_hostname(hostname):
    name = bytes(bytes_(hostname)).split(b"\0", 1)[0][:35]
    _check_create_zel_query(_HOSTNAME_OBJECT)
    query = ctypes.cast(_nCfg.value, POINTER(c_void_p))[_HOSTNAME_OBJECT]
    record = _zel_query_update(query)
    if not record:
        return -1
    ctypes.memmove(record + 4, name + b"\0", len(name) + 1)
    c_char.from_address(record + 39).value = b"\0"
    return _nCfg_obj_change(_HOSTNAME_OBJECT, record)


# ---- multicast traceroute ---------------------------------------------------------------


def get_safe_r_file():
    for i in range(1000):
        try:
            fd = os.open("/tmp/mtraceroute_" + str(i), os.O_CREAT | os.O_EXCL | os.O_RDWR)
            with os.fdopen(fd, "w") as f:
                fcntl.flock(f, fcntl.LOCK_EX | fcntl.LOCK_NB)
            return str(i)
        except (FileExistsError, BlockingIOError):
            continue
    return None


def exec_mtraceroute(r_file, dst, confidence=90, flow_id=5, max_ttl=30):
    _require_int("confidence", confidence)
    _require_int("max_ttl", max_ttl)
    if not r_file:
        raise ValueError("r_file is empty")
    flow_id = int(flow_id)
    dst_text = bytes(bytes_(dst, _CHARSET))[:127]
    r_file_text = bytes(bytes_(r_file, _CHARSET))[:127]
    return _api_mtraceroute(dst_text, confidence, flow_id, max_ttl, r_file_text)


def _reply_mtu(context):
    return c_int32.from_address(context + _REPLY_MTU_OFFSET).value


def _probe_value(probe, time_text, context):
    if probe.status == 2:
        return "sent fail"
    if probe.status != 1:
        return None
    code = probe.code
    if code == -1:
        return time_text
    annotation = ICMP_CODES_FOR_CHARACTERS.get(code, -2)
    if code == 5:
        annotation = "{}-{}".format(annotation, _reply_mtu(context))
    elif code == -2:
        annotation = "{}<{}>".format(annotation, code)
    return "{} {}".format(time_text, annotation)


def _hop(response, context):
    hop = {
        "ttl": response.ttl,
        "ipAddress": text_(response.ip_address),
        "hostName": text_(response.host_name),
    }
    for i in range(min(response.probe_count, 5)):
        probe = response.probe[i]
        time_text = format(probe.time, ".3f")
        hop["time{}".format(i + 1)] = _probe_value(probe, time_text, context)
    return hop


def get_diagnostic_data(context, ip_host, ttl=32, probes=3, timeout=15):
    _require_int("ttl", ttl)
    _require_int("probes", probes)
    _require_int("timeout", timeout)
    host = ctypes.create_string_buffer(64)
    _strtcpy(host, 64, bytes(bytes_(ip_host)))
    header = trace_route_header_info()
    trace = _init_trace_route(host, ttl, probes, timeout, byref(header))
    if not trace:
        context["result"] = -1
        return None
    try:
        context["result"] = 0
        address = text_(header.ip_address)
        context["routingTable"] = get_routing_table_result(address)
        context["traceRouteHeader"] = {
            "hostName": text_(header.host_name),
            "ipAddress": address,
            "hops": header.hops,
            "probes": header.probes,
            "timeout": header.timeout,
            "packageSize": header.package_size,
        }
        routes = []
        context["routes"] = routes
        response = trace_route_response_info()
        while True:
            result = _query_trace_route(trace, byref(response))
            routes.append(_hop(response, trace))
            context["result"] = result
            if result == 1:
                return None
            sleep(0.2)
    finally:
        _free_trace_route(trace)
