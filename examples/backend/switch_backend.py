"""A small Pyramid back-end on zel.zel_util: the JSON views a management UI
calls, a hostname change, port counters and a traceroute streamed hop by hop.

Its platform calls run where the application is told (a PlatformPool of
worker processes, or InProcess); every error of a platform call is answered
by the pool's exception view (502 for a platform failure, 503 when the
switch is short of memory or the pool is busy or restarted a worker, 504
for a call past its timeout, 400 for a bad request value).

    python switch_backend.py [--port 6543] [--workers 2] [--timeout 20]   # waitress
    gunicorn -k gthread --threads 4 'switch_backend:served_app(workers=2)'
"""

from __future__ import annotations

import argparse
import os
from typing import Any

from pyramid.config import Configurator
from pyramid.httpexceptions import HTTPBadGateway, HTTPBadRequest
from pyramid.response import Response

from trace_stream import trace_lines
from zel_platform_pool import InProcess, Platform, PlatformPool, http_answer

# The counters are read in this process: the module reads kernel files, and
# lets other threads run while it does.
HERE = InProcess()


def platform(request: Any) -> Platform:
    return request.registry.platform  # type: ignore[no-any-return]


def healthz(request: Any) -> dict[str, Any]:
    """GET /healthz: no platform call; the diagnostic-debug flag read when
    the application was made."""
    return {"ok": True, "diag_debug": request.registry.settings["diag_debug"]}


def dot1x(request: Any) -> dict[str, Any]:
    """GET /dot1x/{interface}: the port's 802.1X state and its sessions."""
    interface = request.matchdict["interface"]
    status = platform(request).call("get_8021x_status", interface)
    sessions = platform(request).call("get_8021x_sessions", interface)
    return {"port": status["port_status"], "link": status["link_status"],
            "users": [s["user"] for s in sessions]}


def _supplies(supplies: list[Any]) -> dict[str, str]:
    return {psu.name: "ok" if psu.ok else "fault" for psu in supplies if psu.connected}


# Each reading of /environment: its platform function, and how it is shown.
READINGS = {"temperatures": ("system_temperatures", tuple), "supplies": ("psu_list", _supplies)}


def environment(request: Any) -> dict[str, Any]:
    """GET /environment: temperatures and power supplies, each read on its
    own; an error status only when neither could be read."""
    body: dict[str, Any] = {}
    statuses = []
    for key, (function, shown) in READINGS.items():
        try:
            body[key] = shown(platform(request).call(function))
        except Exception as error:
            answer = http_answer(error)
            if answer is None:
                raise
            statuses.append(answer[0])
            body[key] = answer[1]
    if len(statuses) == len(body):
        request.response.status_int = statuses[0]
    return body


def hostname(request: Any) -> dict[str, Any]:
    """POST /hostname {"hostname": name}: sets the switch's hostname."""
    try:
        name = request.json_body["hostname"]
    except (ValueError, KeyError, TypeError):
        raise HTTPBadRequest(json_body={"error": 'expected {"hostname": name}'}) from None
    status = platform(request).call("set_hostname", name)
    if status < 0:
        raise HTTPBadGateway(json_body={"error": "the hostname was not committed",
                                        "status": status})
    return {"hostname": name, "status": status}


def traffic(request: Any) -> dict[str, Any]:
    """GET /traffic/{port}: the port's counters."""
    counters: dict[str, Any] = HERE.call("system_port_traffic", request.matchdict["port"])._asdict()
    return counters


def traceroute(request: Any) -> Response:
    """GET /traceroute/{host}: NDJSON, one line per hop as the trace goes on."""
    host = request.matchdict["host"]
    return Response(app_iter=trace_lines(platform(request).trace(host), host),
                    content_type="application/x-ndjson")


ROUTES = (("healthz", "/healthz", healthz, "GET"),
          ("dot1x", "/dot1x/{interface:.+}", dot1x, "GET"),
          ("environment", "/environment", environment, "GET"),
          ("hostname", "/hostname", hostname, "POST"),
          ("traffic", "/traffic/{port:.+}", traffic, "GET"),
          ("traceroute", "/traceroute/{host}", traceroute, "GET"))


def make_app(where: Platform | None = None, **settings: Any) -> Any:
    """The WSGI application, its platform calls run by where (this process
    when not given). Reads the diagnostic-debug flag as it is made."""
    where = where if where is not None else InProcess()
    settings["diag_debug"] = where.call("get_diag_debug_status")
    with Configurator(settings=settings) as config:
        config.registry.platform = where
        config.include("zel_platform_pool.pyramid")
        for name, pattern, view, method in ROUTES:
            config.add_route(name, pattern, request_method=method)
            config.add_view(view, route_name=name, renderer="json")
        return config.make_wsgi_app()


def platform_for(workers: int, timeout: float) -> Platform:
    """A pool of that many worker processes; 0: this process (InProcess)."""
    return PlatformPool(workers, timeout=timeout) if workers else InProcess()


def served_app(workers: int = 2, timeout: float = 20.0) -> Any:
    """The application on a pool of its own, its workers started (gunicorn's
    factory: each server process gets its pool; with --preload the master
    makes the application, and the pool, first, and each server process
    starts workers of its own as its first calls need them)."""
    where = platform_for(workers, timeout)
    where.start()
    return make_app(where)


def serve(port: int, workers: int, timeout: float, host: str = "127.0.0.1") -> None:
    """Serves the application with waitress, platform calls in a pool,
    until SIGTERM or Ctrl-C; the pool stops with the server."""
    import waitress

    where = platform_for(workers, timeout)
    try:
        where.start()
        server = waitress.create_server(make_app(where), host=host, port=port)
        print(f"serving on http://{host}:{server.effective_port} (server {os.getpid()})",
              flush=True)
        server.run()
    finally:
        where.close()


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--port", type=int, default=6543)
    parser.add_argument("--workers", type=int, default=2,
                        help="platform worker processes (0: platform calls in this process)")
    parser.add_argument("--timeout", type=float, default=20.0, help="seconds per platform call")
    options = parser.parse_args()
    serve(options.port, options.workers, options.timeout)
