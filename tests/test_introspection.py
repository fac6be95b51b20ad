"""The operations as Python's tools see them: inspect, help()/pydoc, and
plain stubtest against the stub."""

import inspect
import pathlib
import pydoc
import re
import subprocess
import sys
import textwrap

import pytest

from interpreter_versions import pydoc_signature
from operations import NO_ARGUMENTS, SIGNATURES

ROOT = pathlib.Path(__file__).resolve().parent.parent


def operations(zu):
    # A function missing from the module fails here, as it must.
    return {name: getattr(zu, name) for name in SIGNATURES}


def section(text, title):
    """The lines of one section of pydoc's plain-text page (up to the next
    unindented heading)."""
    match = re.search(rf"^{title}\n((?:[ \t].*\n|\n)*)", text, re.M)
    assert match, f"no {title} section in:\n{text}"
    return match.group(1)


def test_each_operation_is_a_routine_without_a_docstring(zu):
    for name, fn in operations(zu).items():
        assert inspect.isroutine(fn), name
        assert inspect.ismethoddescriptor(fn), name
        assert not inspect.isdatadescriptor(fn), name
        assert fn.__doc__ is None, name
        assert inspect.getdoc(fn) is None, name
        assert repr(fn) == f"<built-in function {name}>"


def test_an_operation_stored_in_a_class_is_not_bound(zu):
    """As for a builtin: fetched through a class or an instance, the
    operation is itself and takes no instance as first argument."""
    fn = zu.get_cmdb_max_buff

    class View:
        limit = fn
        status = zu.get_8021x_status

    view = View()
    assert view.limit is fn and View.limit is fn
    assert View.__dict__["limit"].__get__(None, View) is fn
    assert view.limit() == 4095
    assert view.status("gi1/0/1")["name"] == "gi1/0/1"
    with pytest.raises(TypeError, match=r"^get_cmdb_max_buff\(\) takes no arguments \(1 given\)$"):
        view.limit(view)


def test_help_of_the_module_lists_the_operations_under_functions(zu):
    ops = operations(zu)
    text = pydoc.render_doc(zu, renderer=pydoc.plaintext)
    functions = section(text, "FUNCTIONS")
    # Each one's heading, and no text under it.
    for name, signature in SIGNATURES.items():
        heading = textwrap.indent(name + pydoc_signature(name, signature), "    ")
        assert re.search(rf"^{re.escape(heading)}\n(\n|\Z)", functions, re.M), name
    # Nothing of theirs under DATA.
    data = section(text, "DATA")
    assert not [name for name in ops if re.search(rf"^    {name} = ", data, re.M)]


@pytest.mark.parametrize("name", ["get_8021x_status", "exec_mtraceroute", "get_last_backup"])
def test_help_of_an_operation_shows_the_function(zu, name):
    fn = operations(zu)[name]
    text = pydoc.render_doc(fn, renderer=pydoc.plaintext)
    assert text.splitlines()[0] == "Python Library Documentation: function in module zel.zel_util"
    shown = name + pydoc_signature(name, SIGNATURES[name])
    assert f"\n{shown}\n" in text
    assert "class function" not in text and "__call__" not in text
    assert pydoc.plaintext.document(fn).strip() == shown


def stubtest(*args):
    return subprocess.run([sys.executable, "-m", "mypy.stubtest", *args, "zel.zel_util"],
                          capture_output=True, text=True, cwd=ROOT, timeout=300)


def test_plain_stubtest_passes():
    proc = stubtest()
    assert proc.returncode == 0, proc.stdout + proc.stderr
    assert "Success: no issues found in 1 module" in proc.stdout


def test_make_typecheck_runs_plain_stubtest():
    makefile = (ROOT / "Makefile").read_text(encoding="utf-8")
    recipe = re.search(r"^typecheck:.*\n((?:\t.*\n)+)", makefile, re.M).group(1)
    assert re.search(r"-m mypy\.stubtest\b.* zel\.zel_util$", recipe, re.M), recipe
    assert "scripts/" not in recipe


# ---- the stub's docstrings (shown by editors on hover) ---------------------------

STUB = ROOT / "stubs" / "zel-stubs" / "zel_util.pyi"


def stub_docstrings():
    import ast
    tree = ast.parse(STUB.read_text(encoding="utf-8"))
    return {node.name: ast.get_docstring(node) for node in tree.body
            if isinstance(node, ast.FunctionDef) and node.name in SIGNATURES}


def test_each_stub_function_has_a_docstring():
    docs = stub_docstrings()
    assert set(docs) == set(SIGNATURES)
    assert not [name for name, doc in docs.items() if not doc]


# One call per function with parameters whose stub docstring names a
# CFunctionError; those without are called as they are.
PLATFORM_FAILURES = {
    "get_8021x_status": lambda zu: zu.get_8021x_status("gi1/0/1"),
}


def test_the_platform_failures_the_docstrings_name_are_raised(zu, zel_sim):
    named = {name: re.findall(r'CFunctionError\("(\w+)", \w+\)', doc)
             for name, doc in stub_docstrings().items()}
    named = {name: platform for name, platform in named.items() if platform}
    assert set(named) - set(NO_ARGUMENTS) == set(PLATFORM_FAILURES), \
        "tests/test_introspection.py: PLATFORM_FAILURES has a call of each such function"
    zel_sim.clear()  # no per-interface scripts ahead of the failing one
    for name, [platform] in named.items():
        zel_sim.script(platform, result=-7)
        with pytest.raises(zu.CFunctionError) as failure:
            PLATFORM_FAILURES.get(name, lambda zu: getattr(zu, name)())(zu)
        assert failure.value.args == (platform, -7), name
