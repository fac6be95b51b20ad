"""The module's operations, the one list every per-operation table of the
tests is made from: the module's own function objects, in the order it binds
them. The signature each one should show is taken from the hand-written
documents (the heading in docs/reference.md, "exactly int" in the stub), so
that tests compare the module with what its users read."""

from __future__ import annotations

import ast
import inspect
import pathlib
import re

import zel.zel_util as zu
from zel_sim.testing import module_functions

ROOT = pathlib.Path(__file__).resolve().parent.parent
STUB = ROOT / "stubs" / "zel-stubs" / "zel_util.pyi"
REFERENCE = ROOT / "docs" / "reference.md"

OPERATIONS = module_functions(zu)
WITH_PARAMETERS = [name for name in OPERATIONS
                   if inspect.signature(getattr(zu, name)).parameters]
NO_ARGUMENTS = [name for name in OPERATIONS if name not in WITH_PARAMETERS]
PARAMETER_NAMES = {name: list(inspect.signature(getattr(zu, name)).parameters)
                   for name in WITH_PARAMETERS}

# "### `exec_mtraceroute(r_file, dst, confidence=90, flow_id=5, max_ttl=30)`"
DOCUMENTED = dict(re.findall(r"^### `(\w+)(\(.*\))`$",
                             REFERENCE.read_text(encoding="utf-8"), re.M))


def stub_functions() -> dict[str, ast.FunctionDef]:
    tree = ast.parse(STUB.read_text(encoding="utf-8"))
    return {node.name: node for node in tree.body if isinstance(node, ast.FunctionDef)}


def _exact_int_parameters(node: ast.FunctionDef) -> set[str]:
    lines = STUB.read_text(encoding="utf-8").splitlines()
    return {arg.arg for arg in node.args.args if lines[arg.lineno - 1].endswith("# exactly int")}


def _expected_signature(name: str) -> str:
    """What inspect.signature() reports: the documented parameters and
    defaults, "int" on those the stub marks as exactly int."""
    documented = DOCUMENTED[name]
    exact = _exact_int_parameters(stub_functions()[name])
    params = []
    for param in filter(None, documented[1:-1].split(", ")):
        pname, eq, default = param.partition("=")
        annotation = ": 'int'" if pname in exact else ""
        params.append(f"{pname}{annotation} = {default}" if eq and annotation else
                      f"{pname}{annotation}{eq}{default}")
    return "(" + ", ".join(params) + ")"


# An operation missing from either document is left out here, and named by
# test_function_places.
SIGNATURES = {name: _expected_signature(name) for name in OPERATIONS
              if name in DOCUMENTED and name in stub_functions()}
