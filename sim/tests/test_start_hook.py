"""The start-up hook: nothing but a finder at interpreter start; the
platform and the start scenario when zel.zel_util or zel_sim is imported;
a scenario that cannot be used fails that import, every time."""

import os
import pathlib
import shutil
import subprocess
import sys
import textwrap

import pytest
import zel_sim


def run(code, **env):
    merged = {k: v for k, v in os.environ.items()
              if k not in ("ZEL_SIM_SCENARIO", "ZEL_SIM_PRELOAD")}
    merged.update(env)
    return subprocess.run([sys.executable, "-W", "ignore", "-c", textwrap.dedent(code)],
                          capture_output=True, text=True, timeout=60, env=merged)


def imported_at_start(*flags, **env):
    """Modules that interpreter start-up imports, from -X importtime."""
    merged = {k: v for k, v in os.environ.items()
              if k not in ("ZEL_SIM_SCENARIO", "ZEL_SIM_PRELOAD")}
    merged.update(env)
    proc = subprocess.run([sys.executable, *flags, "-X", "importtime", "-c", "pass"],
                          capture_output=True, text=True, timeout=60, env=merged)
    assert proc.returncode == 0, proc.stderr
    return {line.rsplit("|", 1)[1].strip() for line in proc.stderr.splitlines()
            if line.startswith("import time:") and "|" in line} - {"imported package"}


def test_start_up_imports_only_the_tiny_hook():
    # With ZEL_SIM_PRELOAD=0 the .pth still imports the hook module, which
    # then arms nothing: arming it must import nothing more.
    plain = imported_at_start(ZEL_SIM_PRELOAD="0")
    hooked = imported_at_start()
    assert "zel_sim_start" in hooked and hooked == plain
    assert not any(name.split(".")[0] in ("ctypes", "_ctypes", "zel_sim", "msgspec", "tomllib",
                                          "zel") for name in hooked - {"zel_sim_start"})


def test_nothing_of_the_simulator_loads_until_it_is_needed():
    proc = run("""
        import sys
        def loaded():
            return sorted(m for m in sys.modules if m.split(".")[0] in (
                "ctypes", "zel_sim", "msgspec", "tomllib", "tomli_w", "zel", "zel_sim_start"))
        # Ahead of the finder that loads the module; other start-up hooks of
        # a site directory read after the environment's (setuptools' shim in
        # the system's) may come first.
        finders = [getattr(f, "__name__", type(f).__name__) for f in sys.meta_path]
        print(loaded(), finders.index("ZelSimStartHook") < finders.index("PathFinder"))
        import zel.zel_util as z
        print("zel_sim" in sys.modules, "ctypes" in sys.modules, z.get_cmdb_max_buff())
    """)
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.splitlines() == ["['zel_sim_start'] True", "True True 4095"]


def test_the_finder_never_changes_the_list_other_imports_walk():
    # The import system walks sys.meta_path while the finder runs: taking
    # itself out of that list would make the walk skip the next finder.
    proc = run("""
        import sys, zel_sim_start
        finders = sys.meta_path
        before = list(finders)
        walked = []
        for finder in finders:
            walked.append(finder)
            if finder is zel_sim_start.ZelSimStartHook:
                finder.find_spec("zel.zel_util")
        print(walked == before, sys.meta_path is finders, finders == before)
        import zel.zel_util as z
        print("zel_sim" in sys.modules, z.get_cmdb_max_buff(), sys.meta_path == before)
    """)
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.splitlines() == ["True True True", "True 4095 True"]


def test_importing_the_module_puts_the_process_in_the_start_scenario(tmp_path):
    path = tmp_path / "lab.toml"
    path.write_text('extends = "default"\n[system]\nhostname = "lab-sw"\n'
                    '[[port]]\nname = "gi1/0/1"\ntx_packets = 11\n')
    proc = run("""
        import zel.zel_util as z
        print(z.system_port_traffic("gi1/0/1").tx_packets)
        import zel_sim
        print(zel_sim.hostname().decode(), zel_sim.start_scenario().system.hostname)
    """, ZEL_SIM_SCENARIO=str(path))
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.split() == ["11", "lab-sw", "lab-sw"]


@pytest.mark.parametrize("first", ["zel.zel_util", "zel_sim"])
@pytest.mark.parametrize("content, problem", [
    (None, "No such file or directory"),
    ("[system]\nhostname = 1\n", "Expected `str`, got `int` - at `$.system.hostname`"),
    ("[system\n", "Expected ']' at the end of a table declaration"),
])
def test_a_broken_start_scenario_fails_every_import(tmp_path, first, content, problem):
    path = tmp_path / "switch.toml"
    if content is not None:
        path.write_text(content)
    proc = run(f"""
        import zel_sim_start
        for name in [{first!r}, {first!r}, "zel.zel_util", "zel_sim"]:
            try:
                __import__(name)
            except ValueError as error:
                print(type(error).__name__, error)
            else:
                print("imported", name)
    """, ZEL_SIM_SCENARIO=str(path))
    assert proc.returncode == 0, proc.stderr
    lines = proc.stdout.splitlines()
    assert len(lines) == 4 and all(
        line.startswith(f"ScenarioError scenario {path}: ") and problem in line for line in lines)


def test_an_empty_variable_is_refused():
    proc = run("import zel.zel_util", ZEL_SIM_SCENARIO="")
    assert "zel_sim.ScenarioError: scenario ZEL_SIM_SCENARIO: the variable is set but " \
           "empty" in proc.stderr


def test_preload_off_leaves_everything_alone(tmp_path):
    proc = run("""
        import sys
        print([f for f in sys.meta_path if "ZelSim" in getattr(f, "__name__", "")])
        try:
            import zel.zel_util
        except ImportError as error:
            print("undefined symbol" in str(error))
        import zel_sim
        print(zel_sim.hostname(), zel_sim.calls())
    """, ZEL_SIM_PRELOAD="0", ZEL_SIM_SCENARIO=str(tmp_path / "not-read.toml"))
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.splitlines() == ["[]", "True", "b'' []"]


def test_a_sub_interpreter_finds_the_platform_as_the_process_left_it():
    proc = run("""
        import _testcapi, zel_sim
        zel_sim.load_scenario('[system]\\nhostname = "changed"\\n')
        status = _testcapi.run_in_subinterp(
            "import sys, zel_sim; print(zel_sim.hostname().decode(), 'msgspec' in sys.modules)")
        print(status, zel_sim.hostname().decode())
    """)
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.split() == ["changed", "False", "0", "changed"]


# ---- python -m zel_sim: the command, in every form the interpreter accepts ------------

@pytest.mark.parametrize("argv, module", [
    (["-m", "zel_sim", "check"], "zel_sim"),
    (["-mzel_sim"], "zel_sim"),
    (["-Ibm", "zel_sim"], "zel_sim"),
    (["-X", "dev", "-Wignore", "-m", "zel_sim"], "zel_sim"),
    (["-bXdev", "-mzel_sim.__main__"], "zel_sim.__main__"),
    (["--check-hash-based-pycs", "never", "-m", "zel_sim"], "zel_sim"),
    (["-m", "pytest", "-m", "zel_sim"], "pytest"),
    # Each of these runs something else, and -m zel_sim are its arguments.
    (["-c", "pass", "-m", "zel_sim"], None),
    (["-Ic", "-m", "zel_sim"], None),
    (["-W", "-m", "zel_sim"], None),
    (["--check-hash-based-pycs", "-m", "zel_sim"], None),
    (["script.py", "-m", "zel_sim"], None),
    (["--", "-m", "zel_sim"], None),
    ([], None),
])
def test_the_module_run_is_read_as_the_interpreter_reads_its_options(argv, module):
    from zel_sim._startup import module_run

    assert module_run(["python", *argv]) == module


COMMAND_FORMS = [["-mzel_sim"], ["-Im", "zel_sim"], ["-Ibm", "zel_sim"],
                 ["-X", "dev", "-Wignore", "-m", "zel_sim"], ["-bXdev", "-mzel_sim.__main__"]]


def command(form, *args, cwd=None, python=sys.executable, **env):
    merged = {k: v for k, v in os.environ.items() if k != "ZEL_SIM_SCENARIO"}
    merged.update(env)
    return subprocess.run([python, *form, *args], capture_output=True, text=True, timeout=60,
                          env=merged, cwd=cwd)


@pytest.mark.parametrize("form", COMMAND_FORMS, ids=" ".join)
def test_the_command_neither_loads_the_library_nor_applies_a_scenario(tmp_path, form):
    good = tmp_path / "good.toml"
    good.write_text('[system]\nhostname = "a"\n')
    broken = tmp_path / "broken.toml"
    broken.write_text("[system\n")
    # The dynamic loader names every library it loads (LD_DEBUG=files).
    checked = command(form, "check", good, ZEL_SIM_SCENARIO=str(broken), LD_DEBUG="files")
    assert (checked.returncode, checked.stdout) == (0, f"{good}: ok\n"), checked.stderr
    assert "libzelplatform" not in checked.stderr
    device = command(form, "snapshot", "--device")
    assert device.returncode == 1
    assert "--device: the platform is not in this process" in device.stderr


def test_a_snapshot_of_the_simulator_says_so():
    snap = command(["-mzel_sim"], "snapshot", "--ports", "gi1/0/1")
    assert snap.returncode == 0, snap.stderr
    assert "` from the simulator running the default scenario." in snap.stdout.splitlines()[0]


def test_on_a_switch_without_the_simulator_library_the_snapshot_says_why(tmp_path):
    # What a switch has: the package's Python files, a plain interpreter.
    shutil.copytree(pathlib.Path(zel_sim.__file__).parent, tmp_path / "zel_sim",
                    ignore=shutil.ignore_patterns("libzelplatform.so", "__pycache__"))
    plain = os.path.join(sys.base_prefix, "bin", f"python{sys.version_info[0]}."
                                                   f"{sys.version_info[1]}")
    snap = command(["-mzel_sim"], "snapshot", cwd=tmp_path, python=plain)
    assert snap.returncode == 1
    assert snap.stderr == ("zel_sim snapshot: the platform is not in this process and the "
                           "simulator library is not installed: run it where the back-end "
                           "runs\n")
