"""`make build` (under `make demo` and `make test`): each project is
reinstalled only when its sources changed, and an install shows its compile
steps as they run. The Makefile runs in a copy of the project's layout with
stand-ins for pip, so nothing here builds or installs anything."""

import os
import pathlib
import re
import shutil
import subprocess

import pytest

ROOT = pathlib.Path(__file__).resolve().parent.parent
INSTALL = ROOT / "scripts" / "install-project"

# Records which project the Makefile asked to install.
RECORDING_INSTALL = """#!/bin/sh
echo "$1" >> installs.txt
"""


def make(tree, *targets):
    # Without the variables of a make this suite may run under (PYTHON=3.13
    # reaches it through the environment, and would choose another one), and
    # without the sanitizer runtime `make sanitize` preloads, which is for
    # the interpreter, not for make.
    env = {k: v for k, v in os.environ.items()
           if k not in ("MAKEFLAGS", "MFLAGS", "MAKELEVEL", "PYTHON", "SANITIZE", "SHORTCUTS",
                        "LD_PRELOAD", "ASAN_OPTIONS", "UBSAN_OPTIONS", "PYTHONMALLOC")}
    proc = subprocess.run(["make", "--no-print-directory", *targets], cwd=tree, env=env,
                          capture_output=True, text=True, timeout=60)
    assert proc.returncode == 0, proc.stdout + proc.stderr
    return proc.stdout


@pytest.fixture
def tree(tmp_path):
    """The Makefile in a small project of the same layout, its environment
    already made."""
    shutil.copy(ROOT / "Makefile", tmp_path)
    files = ["CMakeLists.txt", "pyproject.toml", "README.md", "requirements-dev.txt",
             "zel/core/binder.cpp", "include/platform/records.h", "cmake/x.cmake",
             "stubs/zel-stubs/zel_util.pyi", "sim/pyproject.toml", "sim/zel_sim/__init__.py",
             "sim/tests/test_engine.py", "platform-pool/pyproject.toml",
             "platform-pool/zel_platform_pool/__init__.py", "platform-pool/tests/test_pool.py"]
    for name in files:
        (tmp_path / name).parent.mkdir(parents=True, exist_ok=True)
        (tmp_path / name).write_text(f"{name}\n")
    (tmp_path / "scripts").mkdir()
    (tmp_path / "scripts" / "install-project").write_text(RECORDING_INSTALL)
    (tmp_path / "scripts" / "install-project").chmod(0o755)
    (tmp_path / ".venv").mkdir()
    (tmp_path / ".venv" / ".ready").touch()
    return tmp_path


def installs(tree):
    path = tree / "installs.txt"
    names = path.read_text().split("\n") if path.exists() else []
    path.unlink(missing_ok=True)
    return [name for name in names if name]


def test_only_a_project_whose_sources_changed_is_reinstalled(tree):
    make(tree, "build")
    assert installs(tree) == ["simulator (sim/)", "module zel.zel_util",
                              "platform pool (platform-pool/)"]
    out = make(tree, "build")
    assert installs(tree) == []
    assert out == ("==> simulator, module and platform pool installed in .venv, up to date "
                   "with their sources\n")

    (tree / "zel/core/binder.cpp").write_text("changed\n")
    make(tree, "build")
    assert installs(tree) == ["module zel.zel_util"]

    # Touched but unchanged, the simulator's tests, caches: no reinstall.
    os.utime(tree / "sim/zel_sim/__init__.py")
    (tree / "sim/tests/test_engine.py").write_text("changed\n")
    (tree / "sim/zel_sim/__pycache__").mkdir()
    (tree / "sim/zel_sim/__pycache__/x.pyc").write_text("")
    (tree / "sim/build/sim").mkdir(parents=True)
    (tree / "sim/build/sim/rules.ninja").write_text("")
    (tree / "platform-pool/tests/test_pool.py").write_text("changed\n")
    (tree / "platform-pool/build/lib").mkdir(parents=True)
    (tree / "platform-pool/zel_platform_pool.egg-info").mkdir()
    (tree / "platform-pool/zel_platform_pool.egg-info/PKG-INFO").write_text("")
    make(tree, "build")
    assert installs(tree) == []

    # A new file counts, as a changed one does.
    (tree / "sim/zel_sim/snapshot.py").write_text("new\n")
    make(tree, "build")
    assert installs(tree) == ["simulator (sim/)"]
    (tree / "stubs/zel-stubs/zel_util.pyi").unlink()
    make(tree, "build")
    assert installs(tree) == ["module zel.zel_util"]


def test_a_record_layout_change_reinstalls_the_simulator_too(tree):
    make(tree, "build")
    installs(tree)
    (tree / "include/platform/records.h").write_text("changed\n")
    make(tree, "build")
    assert installs(tree) == ["simulator (sim/)", "module zel.zel_util"]


def test_the_simulator_stamp_covers_every_folder_its_build_reads_outside_sim():
    cmake = (ROOT / "sim" / "CMakeLists.txt").read_text(encoding="utf-8")
    read = set(re.findall(r"\$\{CMAKE_CURRENT_SOURCE_DIR\}/\.\./([\w.-]+)", cmake))
    stamped = re.search(r"^SIM_SOURCES := (.*)$", (ROOT / "Makefile").read_text(encoding="utf-8"),
                        re.M)[1].split()
    missing = sorted(read - set(stamped))
    assert read and not missing, (f"sim/CMakeLists.txt reads {', '.join(missing)}: add it to "
                                  f"SIM_SOURCES in the Makefile")


def install(tmp_path, command):
    log = tmp_path / "logs" / "install.log"
    proc = subprocess.run([str(INSTALL), "simulator (sim/)", str(log), "sh", "-c", command],
                          capture_output=True, text=True, timeout=60)
    return proc, log


def test_an_install_shows_its_compile_steps_and_keeps_the_rest_in_a_log(tmp_path):
    proc, log = install(tmp_path, "echo '  *** Configuring CMake...'; "
                                  "echo '  [1/2] Building CXX object a.o'; "
                                  "echo '  [2/2] Linking CXX shared library liba.so'")
    assert proc.returncode == 0, proc.stderr
    lines = proc.stdout.splitlines()
    assert lines[0] == f"==> simulator (sim/): building and installing (pip's output: {log})"
    assert lines[1:3] == ["  [1/2] Building CXX object a.o",
                          "  [2/2] Linking CXX shared library liba.so"]
    assert lines[3].startswith("==> simulator (sim/): installed in ")
    assert len(lines) == 4
    assert "Configuring CMake" in log.read_text()


def test_a_failed_install_prints_the_whole_output_and_fails(tmp_path):
    proc, log = install(tmp_path, "echo 'error: no compiler' >&2; exit 3")
    assert proc.returncode == 3
    assert proc.stderr == ("==> simulator (sim/): the install failed; pip's output follows\n"
                           "error: no compiler\n")
