"""An operation's spec and body are checked by the compiler: a spec with
more parameters than the binder holds, or not matching its body, does not
compile; one within the limit does."""

import shutil
import subprocess
import sysconfig
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parent.parent
# The compiler that builds the module.
COMPILER = shutil.which("c++") or "g++"


def compiles(tmp_path, params, body_args):
    args = ", ".join(f"PyObject *{name}" for name in body_args)
    source = tmp_path / "op.cpp"
    source.write_text(f"""
        #include "core/operation.hpp"
        namespace zel {{
        Ref pretend({args}) {{ return Ref::borrow(Py_None); }}
        ZEL_OPERATION(pretend{"".join(", " + p for p in params)});
        }}
    """)
    proc = subprocess.run(
        [COMPILER, "-std=c++20", "-fsyntax-only", "-Wall", "-Werror",
         f"-I{ROOT / 'zel'}", f"-I{sysconfig.get_paths()['include']}", str(source)],
        capture_output=True, text=True)
    return proc.returncode == 0, proc.stderr


def params(count):
    names = "abcdef"[:count]
    return [f'param("{n}")' for n in names], list(names)


@pytest.mark.parametrize("count", [0, 1, 5])
def test_spec_within_the_binder_compiles(tmp_path, count):
    ok, errors = compiles(tmp_path, *params(count))
    assert ok, errors


def test_sixth_parameter_does_not_compile(tmp_path):
    ok, errors = compiles(tmp_path, *params(6))
    assert not ok
    assert "kMaxParams" in errors


def test_body_not_matching_its_spec_does_not_compile(tmp_path):
    spec, _ = params(3)
    ok, errors = compiles(tmp_path, spec, ["a", "b"])
    assert not ok
    assert "one argument per parameter" in errors


def test_exact_int_and_defaults_are_named(tmp_path):
    ok, errors = compiles(tmp_path, ['param("a")', 'param("b", default_none)',
                                     'param("c", default_int(3), Accepts::exact_int)'],
                          ["a", "b", "c"])
    assert ok, errors
