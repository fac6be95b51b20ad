"""Runs mypy's stubtest with the module's function type counted as a function.

stubtest recognises a function by its type: a Python function, a built-in
function or a method descriptor. The operations of zel.zel_util are
instances of the module's own callable type `zel.zel_util.function`, which
reports its parameters through `__signature__` but is none of those types,
so stubtest would flag every operation as "is not a function". An allowlist
entry cannot take that flag alone: it would silence every finding for the
operation, signature mismatches included. This runner adds the module's
function type to stubtest's test and otherwise is `python -m mypy.stubtest`,
with the same arguments.
"""

import sys

import mypy.stubtest as stubtest

import zel.zel_util

FUNCTION_TYPE = type(zel.zel_util.get_last_backup)
_is_probably_a_function = stubtest.is_probably_a_function


def is_probably_a_function(runtime: object) -> bool:
    return isinstance(runtime, FUNCTION_TYPE) or _is_probably_a_function(runtime)


if __name__ == "__main__":
    stubtest.is_probably_a_function = is_probably_a_function
    sys.exit(stubtest.main())
