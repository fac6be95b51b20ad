"""docs/reference.md against the module: every function documented under
its signature, and the module-level objects in their binding order."""

import inspect
import pathlib
import re

import pytest

REFERENCE = pathlib.Path(__file__).resolve().parent.parent / "docs" / "reference.md"
TEXT = REFERENCE.read_text(encoding="utf-8")

# "### `exec_mtraceroute(r_file, dst, confidence=90, flow_id=5, max_ttl=30)`"
DOCUMENTED = dict(re.findall(r"^### `(\w+)(\(.*\))`$", TEXT, re.M))


def plain_signature(fn):
    signature = inspect.signature(fn)
    params = [p.replace(annotation=p.empty) for p in signature.parameters.values()]
    return str(signature.replace(parameters=params))


def test_every_function_is_documented(zu):
    functions = [n for n, v in vars(zu).items() if type(v).__name__ == "function"
                 and v.__module__ == "zel.zel_util"]
    assert functions and set(functions) <= set(DOCUMENTED)
    assert len(DOCUMENTED) == 17


@pytest.mark.parametrize("name", sorted(DOCUMENTED))
def test_documented_signature(zu, name):
    assert DOCUMENTED[name] == plain_signature(getattr(zu, name))


def test_module_level_objects_in_binding_order(zu):
    section = TEXT.split("## Module-level objects", 1)[1].split("\n### ", 1)[0]
    rows = [line.split("|")[1] for line in section.splitlines() if line.startswith("| `")]
    documented = [name for row in rows for name in re.findall(r"`(\w+)`", row)]
    bound = [n for n in vars(zu) if not (n.startswith("__") and n != "__test__")]
    assert [n for n in documented if n in bound] == bound
