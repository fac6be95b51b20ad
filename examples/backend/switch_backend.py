"""A small Pyramid back-end on zel.zel_util: the JSON views a management UI
calls, a hostname change, port counters and a traceroute streamed hop by hop.

The calls that hold the interpreter lock while the platform works go to a
worker process when the application is given one (PlatformWorker);
every exception of a module call is answered by http_error, as the guide
says (502 for a platform failure, 503 when the switch is short of memory or
the worker restarted, 400 for a bad request value).

    python switch_backend.py [--port 6543]    # waitress, with a worker process
"""

from __future__ import annotations

import argparse
import signal
import sys
from collections.abc import Callable
from typing import Any

from pyramid.config import Configurator
from pyramid.response import Response

import zel.zel_util as zu
from platform_errors import http_error
from platform_worker import PlatformWorker
from trace_stream import trace_lines


class PlatformAnswer(Exception):
    """An exception of a module call, as its HTTP status and JSON body."""

    def __init__(self, status: int, body: dict[str, Any]) -> None:
        super().__init__(status, body)
        self.status, self.body = status, body


def platform_call(request: Any, function: Callable[..., Any], *args: Any) -> Any:
    """function(*args) where the application runs platform calls (its worker,
    or this process); an exception becomes a PlatformAnswer."""
    return answered(request.registry.platform, function, *args)


def answered(run: Callable[..., Any], function: Callable[..., Any], *args: Any) -> Any:
    """run(function, *args); an exception becomes a PlatformAnswer."""
    try:
        return run(function, *args)
    except Exception as error:
        raise PlatformAnswer(*http_error(error)) from error


def platform_answer(error: PlatformAnswer, request: Any) -> dict[str, Any]:
    request.response.status_int = error.status
    return error.body


def dot1x(request: Any) -> dict[str, Any]:
    """GET /dot1x/{interface}: the port's 802.1X state and its sessions."""
    interface = request.matchdict["interface"]
    status = platform_call(request, zu.get_8021x_status, interface)
    sessions = platform_call(request, zu.get_8021x_sessions, interface)
    return {"port": status["port_status"], "link": status["link_status"],
            "users": [s["user"] for s in sessions]}


def _supplies() -> dict[str, str]:  # runs where the platform calls run
    return {psu.name: "ok" if psu.ok else "fault" for psu in zu.psu_list() if psu.connected}


def environment(request: Any) -> dict[str, Any]:
    """GET /environment: temperatures and power supplies, each read on its
    own; an error status only when neither could be read."""
    body: dict[str, Any] = {}
    statuses = []
    for key, function in (("temperatures", zu.system_temperatures), ("supplies", _supplies)):
        try:
            body[key] = platform_call(request, function)
        except PlatformAnswer as answer:
            body[key] = answer.body
            statuses.append(answer.status)
    if len(statuses) == len(body):
        request.response.status_int = statuses[0]
    return body


def hostname(request: Any) -> dict[str, Any]:
    """POST /hostname {"hostname": name}: sets the switch's hostname."""
    try:
        name = request.json_body["hostname"]
    except (ValueError, KeyError, TypeError):
        raise PlatformAnswer(400, {"error": 'expected {"hostname": name}'}) from None
    status = platform_call(request, zu.set_hostname, name)
    if status < 0:
        raise PlatformAnswer(502, {"error": "the hostname was not committed", "status": status})
    return {"hostname": name, "status": status}


def traffic(request: Any) -> dict[str, Any]:
    """GET /traffic/{port}: the port's counters (read in this process: the
    module reads kernel files, releasing the lock while it does)."""
    counters: dict[str, Any] = answered(in_process, zu.system_port_traffic,
                                        request.matchdict["port"])._asdict()
    return counters


def traceroute(request: Any) -> Response:
    """GET /traceroute/{host}: NDJSON, one line per hop as the trace goes on."""
    return Response(app_iter=trace_lines(request.matchdict["host"]),
                    content_type="application/x-ndjson")


def in_process(function: Callable[..., Any], *args: Any) -> Any:
    return function(*args)


def make_app(worker: PlatformWorker | None = None, **settings: Any) -> Any:
    """The WSGI application; platform calls in worker when given one."""
    with Configurator(settings=settings) as config:
        config.registry.platform = worker.call if worker is not None else in_process
        for name, pattern, view, method in (
                ("dot1x", "/dot1x/{interface:.+}", dot1x, "GET"),
                ("environment", "/environment", environment, "GET"),
                ("hostname", "/hostname", hostname, "POST"),
                ("traffic", "/traffic/{port:.+}", traffic, "GET"),
                ("traceroute", "/traceroute/{host}", traceroute, "GET")):
            config.add_route(name, pattern, request_method=method)
            config.add_view(view, route_name=name, renderer="json")
        config.add_exception_view(platform_answer, context=PlatformAnswer, renderer="json")
        return config.make_wsgi_app()


def serve(port: int, host: str = "127.0.0.1") -> None:
    """Serves the application with waitress, platform calls in a worker
    process, until SIGTERM or Ctrl-C; the worker stops with the server."""
    import waitress

    worker = PlatformWorker()
    # SIGTERM unwinds the server's loop as Ctrl-C does, so the worker is shut
    # down below instead of being left behind with its resource tracker.
    signal.signal(signal.SIGTERM, lambda signum, frame: sys.exit(0))
    try:
        server = waitress.create_server(make_app(worker), host=host, port=port)
        print(f"serving on http://{host}:{server.effective_port}", flush=True)
        server.run()
    finally:
        worker.shutdown()


if __name__ == "__main__":  # a spawned worker imports this module: it must not serve
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--port", type=int, default=6543)
    serve(parser.parse_args().port)
