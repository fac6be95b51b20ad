"""A small back-end view written against zel.zel_util's type information.

`mypy --strict` checks this file (make typecheck): every call below must
type-check, every `assert_type` must hold, and every line of `rejected()`
must fail with exactly the error code its `type: ignore` names (strict mode
reports an ignore that is no longer needed). It also runs: the suite calls
`summary()` against the simulator.
"""

from __future__ import annotations

from typing import TYPE_CHECKING, Any, assert_type

import zel.zel_util as zu
from zel.zel_util import PSU, SystemPortStats, TraceRouteSettings

if TYPE_CHECKING:
    from datetime import datetime

    from zel.zel_util import (
        DiagnosticContext,
        Dot1xPortSession,
        Dot1xPortStatus,
        Dot1xSession,
        FlashPartition,
        TraceRouteHeader,
        TraceRouteHop,
    )


def port_view(interface: str) -> dict[str, object]:
    status = zu.get_8021x_status(interface)
    assert_type(status, "Dot1xPortStatus")
    first: Dot1xPortSession | None = status["sessions"][0] if status["sessions"] else None
    sessions = zu.get_8021x_sessions(interface.encode())
    assert_type(sessions, "list[Dot1xSession]")
    vlans = sorted({s["native_vlan_id"] for s in sessions} | {status["native_vlanid"]})
    # A session of the flat list carries every key of a port session.
    as_port_sessions: list[Dot1xPortSession] = list(sessions)
    return {
        "port": status["name"],
        "authorized": status["port_status"].startswith("Authorized"),
        "first_user": first["user"] if first else None,
        "vlans": vlans,
        "users": [s["user"] for s in as_port_sessions],
    }


def hardware_view() -> dict[str, object]:
    temperatures = zu.system_temperatures()
    assert_type(temperatures, tuple[float, ...])
    supplies = zu.psu_list()
    assert_type(supplies, list[PSU])
    flashes = zu.get_flashs()
    assert_type(flashes, "list[FlashPartition]")
    return {
        "sensor": zu.has_temperature_sensor(),
        "several": zu.multiple_temperature_sensors(),
        "hottest": max(temperatures, default=None),
        "failed_supplies": [p.name for p in supplies if p.connected and not p.ok],
        "images": [f["image"] for f in flashes if f["image"]],
        "active": [f["partition"] for f in flashes if f["active"]],
    }


def port_counters(name: str | bytes) -> int:
    stats = zu.system_port_traffic(name)
    assert_type(stats, SystemPortStats)
    tx_packets, tx_bytes, rx_packets, rx_bytes = stats
    return tx_packets + rx_packets + stats.tx_bytes - tx_bytes + rx_bytes - stats.rx_bytes


def configuration_view() -> dict[str, object]:
    backup = zu.get_last_backup()
    assert_type(backup, "datetime | None")
    return {
        "backup": backup.isoformat() if backup is not None else None,
        "debug": zu.get_diag_debug_status() != 0,
        "max_buff": zu.get_cmdb_max_buff(),
        "stp_priority": zu.stp_instance_priority_default(),
        "flush": zu.delete_sticky_mac_unsaved(),
        "flush_port": zu.delete_sticky_mac_unsaved(name="gi1/0/1"),
        "hostname_status": zu.set_hostname(hostname=bytearray(b"lab-sw")),
    }


def traceroute(destination: str) -> tuple[str | None, int, DiagnosticContext, dict[str, Any]]:
    number = zu.get_safe_r_file()
    assert_type(number, "str | None")
    launched = -1
    if number is not None:
        launched = zu.exec_mtraceroute(
            f"/tmp/mtraceroute_{number}",
            destination,
            confidence=int(TraceRouteSettings.ttl),
            flow_id=7.9,
            max_ttl=30,
        )
    typed: DiagnosticContext = {}
    zu.get_diagnostic_data(typed, destination, ttl=32, probes=3)
    plain: dict[str, Any] = {"caller": "view"}
    zu.get_diagnostic_data(context=plain, ip_host=destination.encode(), timeout=15)
    header: TraceRouteHeader | None = typed.get("traceRouteHeader")
    hops: list[TraceRouteHop] = typed.get("routes", [])
    assert header is None or isinstance(header["packageSize"], int)
    assert all(hop.get("time1", "") != "" for hop in hops)
    return number, launched, typed, plain


def module_objects() -> None:
    assert_type(zu.ICMP_CODES_FOR_CHARACTERS.get(5, -2), "str | int")
    assert_type(zu._HAS_TEMPERATURE_SENSOR, "bool | None")
    assert_type(zu._MULTIPLE_TEMPERATURE_SENSORS, "bool | None")
    assert_type(zu._KEY, bytes)
    assert_type(zu._CHARSET, str)
    assert_type(zu.bytes_("x", zu._CHARSET), bytes)
    assert_type(zu.text_(b"x"), str)
    assert_type(TraceRouteSettings.max_ttl + 0, int)
    zu._logger.debug("limits: %d", TraceRouteSettings.max_ttl)
    when = zu.datetime.fromtimestamp(0)
    assert_type(when, "datetime")
    error: type[Exception] = zu.CFunctionError
    assert issubclass(error, Exception)


def summary() -> dict[str, object]:
    return {
        "port": port_view("gi1/0/1"),
        "hardware": hardware_view(),
        "counters": port_counters("lo"),
        "configuration": configuration_view(),
        "traceroute": traceroute("203.0.113.53"),
    }


def rejected(status: Dot1xPortStatus, hop: TraceRouteHop, ctx: dict[str, Any]) -> None:
    """Misuses the stubs must reject; never called."""
    zu.get_8021x_status(42)  # type: ignore[arg-type]
    zu.get_8021x_status()  # type: ignore[call-arg]
    zu.get_8021x_status(ifname="gi1/0/1")  # type: ignore[call-arg]
    zu.get_cmdb_max_buff(1)  # type: ignore[call-arg]
    zu.exec_mtraceroute("/tmp/mtraceroute_0", "10.0.0.1", confidence="90")  # type: ignore[arg-type]
    zu.exec_mtraceroute("/tmp/mtraceroute_0", "10.0.0.1", flow_id="5")  # type: ignore[arg-type]
    zu.get_diagnostic_data(ctx, "10.0.0.1", 1, 2, 3, 4)  # type: ignore[call-arg]
    zu.get_diagnostic_data((), "10.0.0.1")  # type: ignore[arg-type]
    zu.delete_sticky_mac_unsaved(memoryview(b"gi1/0/1"))  # type: ignore[arg-type]
    status["native_vlan_id"]  # type: ignore[typeddict-item]
    hop["time6"]  # type: ignore[typeddict-item]
    PSU("PSU 1", True)  # type: ignore[call-arg]
    zu.psu_list()[0].watts  # type: ignore[attr-defined]


if __name__ == "__main__":
    import json

    print(json.dumps(summary(), indent=2, default=str))
