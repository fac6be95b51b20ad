"""Every place a function of the module, or a platform function, needs
beyond its body: when one is missing, the failure names the file to change.
README.md, "Adding a function", lists the same places."""

import ctypes
import pathlib
import re
import sys

import pytest
import zel_sim

import calls
import test_docs
import test_hostile_arguments
from operations import DOCUMENTED, NO_ARGUMENTS, OPERATIONS, WITH_PARAMETERS, stub_functions
from sim_sources import SIM_PLATFORM, subsystem_files

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT))

from bench import workload  # noqa: E402

PLATFORM = ROOT / "include" / "platform"


def test_the_module_has_functions():
    assert OPERATIONS and WITH_PARAMETERS


# A module function: (the file, what it lacks, the functions that need it,
# the names that file covers). A function without parameters is called and
# measured as it is by the leak, concurrency and benchmark tables.
MODULE_PLACES = [
    ("stubs/zel-stubs/zel_util.pyi", "a typed def with a docstring", OPERATIONS,
     lambda: stub_functions()),
    ("docs/reference.md", "a \"### `name(parameters)`\" section", OPERATIONS,
     lambda: DOCUMENTED),
    ("tests/calls.py", "a CASES entry (the leak and concurrency calls, with their arguments)",
     WITH_PARAMETERS, lambda: {name.split("/")[0] for name, _, _ in calls.CASES}),
    ("bench/workload.py", "a CASES entry (the benchmark's call, with its arguments)",
     WITH_PARAMETERS, lambda: {case.function for case in workload.CASES}),
]


@pytest.mark.parametrize("path, lacking, needing, covered", MODULE_PLACES,
                         ids=[place[0] for place in MODULE_PLACES])
def test_every_module_function_has_its_place(path, lacking, needing, covered):
    missing = [name for name in needing if name not in covered()]
    assert not missing, f"{path} lacks {lacking} for {', '.join(missing)}"


def test_every_documented_function_is_bound():
    unbound = [name for name in DOCUMENTED if name not in OPERATIONS]
    assert not unbound, (f"docs/reference.md documents {', '.join(unbound)}, which "
                         f"zel.zel_util does not bind: add its OPERATION line to "
                         f"zel/zel_util/module_table.cpp, then make build")


def test_calls_and_benchmark_reach_every_function():
    called = {name.split("/")[0] for name, _, _ in calls.CASES}
    measured = {case.function for case in workload.CASES}
    missing = [f"{path} lacks a CASES entry for {name}" for path, covered in
               (("tests/calls.py", called), ("bench/workload.py", measured))
               for name in OPERATIONS if name not in covered]
    assert not missing, "\n".join(missing)


def test_every_call_that_holds_the_lock_can_be_slowed():
    slowed = set(test_docs.PLATFORM_CALLS) | test_docs.CONSTANTS | set(NO_ARGUMENTS)
    missing = [name for name in test_docs.HOLDING if name not in slowed]
    assert not missing, (f"tests/test_docs.py lacks a PLATFORM_CALLS entry (how to slow its "
                         f"platform call) for {', '.join(missing)}")


def test_every_function_with_parameters_meets_hostile_arguments():
    missing = [name for name in WITH_PARAMETERS
               if name not in test_hostile_arguments.FUNCTIONS]
    assert not missing, (f"tests/test_hostile_arguments.py lacks a FUNCTIONS entry (valid "
                         f"arguments, documented exceptions) for {', '.join(missing)}")


def declared_platform_functions():
    """{function name: header} of every function include/platform/ declares."""
    declared = {}
    for header in sorted(PLATFORM.glob("*.h")):
        text = re.sub(r"/\*.*?\*/|//[^\n]*", "", header.read_text(encoding="utf-8"), flags=re.S)
        for name in re.findall(r"^[A-Za-z_][\w \t*]*?\b(\w+)\s*\([^;{]*\)\s*;", text, re.M):
            declared[name] = header.relative_to(ROOT).as_posix()
    return declared


def simulator_table():
    """The names of sim/platform/functions.h, in their order."""
    text = (SIM_PLATFORM / "functions.h").read_text(encoding="utf-8")
    return re.findall(r"^\s*X\((\w+)\)", text, re.M)


def test_platform_declarations_are_found():
    assert {"get_temp_list", "init_trace_route", "sms_do_flush"} <= set(
        declared_platform_functions())


def test_every_platform_function_is_simulated():
    library = ctypes.CDLL(zel_sim.LIBRARY)
    table = simulator_table()
    problems = []
    for name, header in declared_platform_functions().items():
        if not hasattr(library, name):
            problems.append(f"{header} declares {name}, which the simulator does not define: "
                            f"define it in the file of its subsystem in sim/platform/ "
                            f"({', '.join(subsystem_files())})")
        if name not in table:
            problems.append(f"{header} declares {name}, which sim/platform/functions.h does "
                            f"not list: add X({name}) at the end of ZELSIM_PLATFORM_FUNCTIONS")
    assert not problems, "\n".join(problems)


# Answered from the trace context its trace started with, not from a script.
UNSCRIPTED = {"free_trace_route"}


def test_every_platform_function_has_a_scenario_field():
    scripts = zel_sim.scenario.compile_scripts(zel_sim.scenario.default_scenario(), zel_sim.Step)
    scripted = {target if isinstance(target, str) else target[0] for target in scripts}
    missing = [name for name in zel_sim.FUNCTIONS if name not in scripted | UNSCRIPTED]
    assert not missing, (f"a scenario says nothing of {', '.join(missing)}: give its section a "
                         f"field in sim/zel_sim/_sections.py, and a READINGS entry in "
                         f"sim/zel_sim/_readings.py when "
                         f"the platform answers with the value as it is (else a script in "
                         f"sim/zel_sim/_scripts.py, and what a snapshot writes of it in "
                         f"sim/zel_sim/_snapshot_reading.py)")


def test_the_control_package_names_the_simulator_table():
    assert zel_sim.FUNCTIONS == tuple(simulator_table()), (
        "the installed simulator is older than sim/platform/functions.h: make build")
