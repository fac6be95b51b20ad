"""The module is built on CPython's public C API alone: the check that CI
runs (scripts/public-api-check) passes on the module under test, and finds
a private symbol in a built library and a private name in a source."""

import pathlib
import subprocess

import zel.zel_util as zu

ROOT = pathlib.Path(__file__).resolve().parent.parent
CHECK = ROOT / "scripts" / "public-api-check"


def run_check(*args):
    return subprocess.run([str(CHECK), *map(str, args)], cwd=ROOT, capture_output=True,
                          text=True, timeout=60)


def test_the_built_module_and_its_sources_use_the_public_api_only():
    result = run_check(zu.__file__)
    assert result.returncode == 0, result.stderr
    assert "public C API only" in result.stdout


def test_a_private_symbol_and_private_names_in_sources_fail_the_check(tmp_path):
    library = tmp_path / "private.so"
    subprocess.run(["cc", "-shared", "-fPIC", "-x", "c", "-", "-o", str(library)], check=True,
                   input="extern void *_PyDict_NewPresized(long); extern void _Py_Dealloc(void *);\n"
                         "void *f(void) { _Py_Dealloc(0); return _PyDict_NewPresized(3); }\n",
                   text=True, timeout=60)
    sources = tmp_path / "src"
    sources.mkdir()
    (sources / "a.cpp").write_text("PyObject *t = _PyType_Lookup(type, name);\n"
                                   "auto tag = type->tp_version_tag;\n"
                                   "PyObject *code = f->func_code;\n"
                                   "PyObject *fine = PyFunction_GetCode(f);\n")
    result = run_check(library, sources)
    assert result.returncode == 1
    assert "_PyDict_NewPresized" in result.stderr
    assert "_Py_Dealloc" not in result.stderr  # what Py_DECREF expands to
    flagged = [line.split(":")[1] for line in result.stderr.splitlines()
               if line.startswith(str(sources))]
    assert flagged == ["1", "2", "3"]
