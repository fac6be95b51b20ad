"""Worker processes for zel.zel_util's platform calls, so that a slow
platform never stalls a web server's other requests.

    pool = PlatformPool(4)
    pool.call("psu_list")                   # in a worker; exceptions as raised there
    await pool.acall("get_8021x_status", "gi1/0/1")
    for state in pool.trace("10.0.0.1"):    # the traceroute's context, hop by hop
        ...

InProcess offers the same calls in this process. zel_platform_pool.http
maps their errors to HTTP answers; zel_platform_pool.pyramid makes that a
Pyramid exception view. Standard library only.
"""

from ._calls import Function
from ._context import TraceState
from ._errors import (PlatformBusy, PlatformTimeout, PoolClosed, PoolError, WorkerDied,
                      WorkerStartError)
from ._in_process import InProcess
from ._interface import Platform, Trace
from ._pool import PlatformPool
from ._trace import TraceStates
from .http import http_answer

__all__ = [
    "PlatformPool", "InProcess", "Platform", "Function", "Trace", "TraceState", "TraceStates",
    "PoolError", "PlatformBusy", "PlatformTimeout", "WorkerDied", "WorkerStartError",
    "PoolClosed", "http_answer",
]
