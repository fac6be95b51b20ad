"""The HTTP answer to each error of a platform call, as (status, JSON
body): the one mapping a web back-end needs.

| Error | Status |
|---|---|
| CFunctionError("PyMem_Malloc"): no memory for a record | 503 |
| CFunctionError(function, code): the platform call failed | 502 |
| IndexError, UnicodeDecodeError of a call: platform data it cannot read | 502 |
| TypeError, ValueError, OverflowError of a call (UnicodeEncodeError too): a bad argument | 400 |
| PlatformTimeout | 504 |
| PlatformBusy, WorkerDied, WorkerStartError, PoolClosed | 503 |

"Of a call": raised by a function that ran through a pool or InProcess
(its platform_call attribute names it); the same exception raised by the
back-end's own code has no answer here, and stays a fault (500).
"""

from __future__ import annotations

import sys
from typing import Any

from ._errors import PlatformBusy, PlatformTimeout, PoolClosed, PoolError, WorkerDied

Answer = tuple[int, dict[str, Any]]


def http_answer(error: BaseException) -> Answer | None:
    """(status, JSON body) for an error of a platform call; None for any
    other exception."""
    if isinstance(error, PoolError):
        return _pool_answer(error)
    if _is_platform_failure(error):
        function, *code = error.args
        if function == "PyMem_Malloc":
            return 503, {"error": "the switch is short of memory, try again"}
        return 502, {"error": "platform call failed", "function": function,
                     "code": code[0] if code else None}
    if getattr(error, "platform_call", None) is None:
        return None
    if isinstance(error, (IndexError, UnicodeDecodeError)):
        return 502, {"error": "unreadable platform data", "detail": str(error)}
    if isinstance(error, (TypeError, ValueError, OverflowError)):
        return 400, {"error": str(error)}
    return None


def _pool_answer(error: PoolError) -> Answer:
    if isinstance(error, PlatformTimeout):
        return 504, {"error": "the platform did not answer in time",
                     "function": error.function, "seconds": error.seconds}
    if isinstance(error, PlatformBusy):
        text = "the platform is busy, try again"
    elif isinstance(error, WorkerDied):
        text = "the platform worker restarted, try again"
    elif isinstance(error, PoolClosed):
        text = "the server is stopping"
    else:
        text = "the platform worker could not start"
    return 503, {"error": text, "function": error.function}


def _is_platform_failure(error: BaseException) -> bool:
    # The class is the back-end's util.errors; it is imported wherever one
    # of its exceptions exists (unpickling one imports it), so it is looked
    # up rather than imported.
    kind = getattr(sys.modules.get("util.errors"), "CFunctionError", None)
    return isinstance(kind, type) and isinstance(error, kind)
