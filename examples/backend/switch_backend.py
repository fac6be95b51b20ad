"""A tiny web back-end on zel.zel_util: the views a management UI calls,
each answering an HTTP status and a JSON-ready body.

A platform failure is the switch's fault, not the client's: it answers 503
with the failing platform function and its code, and one failing reading
does not hide the others.
"""

from __future__ import annotations

from typing import Any

import zel.zel_util as zu

Answer = tuple[int, dict[str, Any]]


def _platform_error(error: Exception) -> dict[str, Any]:
    function, code = error.args[0], error.args[-1]
    return {"error": "platform", "function": function, "code": code}


def dot1x(interface: str) -> Answer:
    """GET /dot1x/<interface>: the port's 802.1X state and its sessions."""
    try:
        status = zu.get_8021x_status(interface)
        sessions = zu.get_8021x_sessions(interface)
    except zu.CFunctionError as error:
        return 503, _platform_error(error)
    return 200, {"port": status["port_status"], "link": status["link_status"],
                 "users": [s["user"] for s in sessions]}


def environment() -> Answer:
    """GET /environment: temperatures and power supplies, each read on its
    own; 503 only when neither could be read."""
    body: dict[str, Any] = {}
    try:
        body["temperatures"] = list(zu.system_temperatures())
    except zu.CFunctionError as error:
        body["temperatures"] = _platform_error(error)
    try:
        body["supplies"] = {psu.name: "ok" if psu.ok else "fault" for psu in zu.psu_list()
                            if psu.connected}
    except zu.CFunctionError as error:
        body["supplies"] = _platform_error(error)
    failed = all(isinstance(v, dict) and "error" in v for v in body.values())
    return (503 if failed else 200), body


def traffic(port: str) -> Answer:
    """GET /traffic/<port>: the port's counters."""
    return 200, zu.system_port_traffic(port)._asdict()
