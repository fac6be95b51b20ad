"""A scenario turned into scripts: per platform function (and key), the
steps it answers with."""

from __future__ import annotations

import datetime
import struct
from typing import Any, Union

import msgspec

from . import records
from ._readings import READINGS, Reading
from ._sections import Dot1x, Hardware, Hop, Scenario, System, Traceroute
from ._values import Hex, text_bytes

Target = Union[str, tuple[str, bytes]]


def _system(section: System, out: dict[Target, list[Any]], step: Any) -> None:
    out["plat_switch_get_data_channel_unit"] = [step(section.data_channel_unit)]
    out["sms_do_flush"] = [step(section.flush_result)]
    out["check_create_zel_query"] = [step(section.config_result)]
    out["zel_query_update"] = [step(1 if section.query_update else 0)]
    out["nCfg_obj_change"] = [step(section.config_result)]
    out["backupts_GetTimeStamp"] = [_backup(section.backup_time, step)]
    out["dump_tessel_802_1x_status"] = [step(section.unknown_port_result)]
    for field, reading in READINGS.items():
        out[reading.function] = [_reading(reading, getattr(section, field), step)]


def _reading(reading: Reading, value: int, step: Any) -> Any:
    if not reading.out:
        return step(value)
    # The platform's bit pattern of the value, as its unsigned field holds it.
    bits = 8 * struct.calcsize(reading.out)
    return step(0, struct.pack(reading.out, value & ((1 << bits) - 1)))


def _backup(value: datetime.datetime | int | bool, step: Any) -> Any:
    if value is False:
        return step(0)
    if isinstance(value, datetime.datetime):
        value = int(value.timestamp())
    return step(1, records.timestamp(int(value)))


def _raw_texts(fields: dict[str, Any]) -> dict[str, Any]:
    """The fields, texts given by their bytes as bytes."""
    return {k: v.data if isinstance(v, Hex) else v for k, v in fields.items()}


def _dot1x(ports: list[Dot1x], out: dict[Target, list[Any]], step: Any) -> None:
    for port in ports:
        fields = _raw_texts({k: getattr(port, k) for k in records.DOT1X_TEXT_ROOMS})
        fields.update({k: getattr(port, k) for k in (
            "mode", "mab", "dynamic_vlanid", "native_vlanid", "guest_vlan_enable",
            "auth_fail_vlan_enable")})
        sessions = [_raw_texts(msgspec.structs.asdict(s)) for s in port.sessions]
        record = records.dot1x_status(count=port.count, sessions=sessions, **fields)
        key = ("dump_tessel_802_1x_status", port.interface.encode("latin-1"))
        out[key] = [step(port.result, record, port.delay)]


def _hardware(section: Hardware, out: dict[Target, list[Any]], step: Any) -> None:
    psus = [(text_bytes(p.name), p.ok, p.connected) for p in section.psu]
    flash = [_raw_texts(msgspec.structs.asdict(f)) for f in section.flash]
    out["get_temp_list"] = [step(0, records.temp_list(section.temperatures))]
    out["get_psu_list"] = [step(0, records.psu_list(psus))]
    out["get_flash_list"] = [step(0, records.flash_list(flash))]


def _hop_steps(hops: list[Hop], step: Any) -> list[Any]:
    # Numbered and settled by Traceroute: ttl and result are ints here.
    return [step(hop.result, records.trace_response(int(hop.ttl or 0), text_bytes(hop.ip),
                                                    text_bytes(hop.host), hop.probes,
                                                    hop.probe_count), hop.delay)
            for hop in hops]


def _route(route: Any, step: Any) -> tuple[Any, list[Any]]:
    """The init step and hop steps of [traceroute] or of a destination whose
    keys were all filled in from it."""
    header = records.trace_header(text_bytes(route.host_name), text_bytes(route.ip_address),
                                  route.hops, route.probes, route.timeout, route.package_size)
    init = step(route.result, header, route.delay, records.trace_context(route.reply_mtu))
    assert isinstance(route.hop, list)
    return init, _hop_steps(route.hop, step)


def _traceroute(section: Traceroute, out: dict[Target, list[Any]], step: Any) -> None:
    init, hops = _route(section, step)
    out["init_trace_route"], out["query_trace_route"] = [init], hops
    for dest in section.destination:
        init, hops = _route(dest, step)
        key = dest.target.encode("latin-1")
        out[("init_trace_route", key)] = [init]
        out[("query_trace_route", key)] = hops


def _fail(section: dict[str, int], out: dict[Target, list[Any]], step: Any) -> None:
    for fn, result in section.items():
        for target in [t for t in out if t == fn or (isinstance(t, tuple) and t[0] == fn)]:
            del out[target]
        out[fn] = [step(result)]


def compile_scripts(scenario: Scenario, step: Any) -> dict[Target, list[Any]]:
    """{fn or (fn, key): [step, ...]} of a scenario; step(result, record,
    delay, aux) makes one step."""
    out: dict[Target, list[Any]] = {}
    _system(scenario.system, out, step)
    _dot1x(scenario.dot1x, out, step)
    _hardware(scenario.hardware, out, step)
    out["api_mtraceroute"] = [step(scenario.mtraceroute.result,
                                   delay=scenario.mtraceroute.delay)]
    _traceroute(scenario.traceroute, out, step)
    _fail(scenario.fail, out, step)
    return out
