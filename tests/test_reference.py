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
    extra = sorted(set(DOCUMENTED) - set(OPERATIONS))
    assert not extra, (f"docs/reference.md documents {', '.join(extra)}, which the module "
                       f"does not have")


@pytest.mark.parametrize("name", sorted(DOCUMENTED))
def test_documented_signature(zu, name):
    actual = plain_signature(getattr(zu, name))
    assert DOCUMENTED[name] == actual, (f"docs/reference.md: head the section of {name} "
                                        f"\"### `{name}{actual}`\"")


SECTIONS = dict(zip(*[iter(re.split(r"^### `(\w+)\(.*\)`$", TEXT, flags=re.M)[1:])] * 2))


def test_every_section_says_what_happens_to_the_lock():
    lacking = [name for name, body in SECTIONS.items() if "Lock: " not in body.split("\n## ")[0]]
    assert not lacking, (f"docs/reference.md: the sections of {', '.join(lacking)} lack their "
                         f"\"Lock: held.\" line (or \"Lock: released ...\")")


def test_module_level_objects_in_binding_order(zu):
    section = TEXT.split("## Module-level objects", 1)[1].split("\n### ", 1)[0]
    rows = [line.split("|")[1] for line in section.splitlines() if line.startswith("| `")]
    documented = [name for row in rows for name in re.findall(r"`(\w+)`", row)]
    bound = [n for n in vars(zu) if not (n.startswith("__") and n != "__test__")]
    missing = [f"`{name}` after `{bound[i - 1]}`" if i else f"`{name}` first"
               for i, name in enumerate(bound) if name not in documented]
    assert not missing, ("docs/reference.md, Module-level objects: the table lacks "
                         + ", ".join(missing) + " (a row, or a name in the row of its kind)")
    assert [n for n in documented if n in bound] == bound, \
        "docs/reference.md, Module-level objects: the table lists them in the order bound"
