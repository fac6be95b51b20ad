"""docs/reference.md against the module: every function documented under
its signature, and the module-level objects in their binding order."""

import inspect
import pathlib
import re

import pytest

from operations import DOCUMENTED, OPERATIONS

REFERENCE = pathlib.Path(__file__).resolve().parent.parent / "docs" / "reference.md"
TEXT = REFERENCE.read_text(encoding="utf-8")


def plain_signature(fn):
    signature = inspect.signature(fn)
    params = [p.replace(annotation=p.empty) for p in signature.parameters.values()]
    return str(signature.replace(parameters=params))


def test_documents_only_the_module_functions():
    assert not set(DOCUMENTED) - set(OPERATIONS), \
        "docs/reference.md documents functions the module does not have"


@pytest.mark.parametrize("name", sorted(DOCUMENTED))
def test_documented_signature(zu, name):
    assert DOCUMENTED[name] == plain_signature(getattr(zu, name))


def test_module_level_objects_in_binding_order(zu):
    section = TEXT.split("## Module-level objects", 1)[1].split("\n### ", 1)[0]
    rows = [line.split("|")[1] for line in section.splitlines() if line.startswith("| `")]
    documented = [name for row in rows for name in re.findall(r"`(\w+)`", row)]
    bound = [n for n in vars(zu) if not (n.startswith("__") and n != "__test__")]
    assert [n for n in documented if n in bound] == bound, \
        "docs/reference.md, Module-level objects: the table lists them in the order bound"
