"""Helpers for tests of code that runs on the simulated switch: the pytest
plugin's reset and control object, and what test suites otherwise write
again and again (result files kept out of /tmp, scripted traceroutes,
temporary counter trees).

Importing this module imports the control package, so the start scenario is
applied (see zel_sim).
"""

from __future__ import annotations

import contextlib
import dataclasses
import os
import pathlib
import sys
from collections.abc import Iterable, Iterator
from types import ModuleType
from typing import Any, Protocol

import zel_sim
from zel_sim import FUNCTIONS, LIBRARY, Call, Scenario, ScenarioError, Step, StepLike, records
from zel_sim import _ports
from zel_sim import scenario as scenarios
from zel_sim._lib import Failure, fetch, lib

__all__ = [
    "RESULT_PREFIX", "PrivateTmp", "hop", "hops", "script_trace", "CounterTree", "counter_tree",
    "reset_sensor_flags", "reset", "SwitchState", "worker_setup", "apply_switch_state",
    "UnraisableReports", "expect_unraisable", "Control", "CONTROL", "module_functions",
]

# Where the module's traceroute result files go on the device.
RESULT_PREFIX = "/tmp/mtraceroute_"

# The module's cached answers about the temperature sensors, read once from
# the platform and kept in its namespace.
SENSOR_FLAGS = ("_HAS_TEMPERATURE_SENSOR", "_MULTIPLE_TEMPERATURE_SENSORS")


def module_functions(module: ModuleType) -> list[str]:
    """The names of zel.zel_util's functions, in the order it binds them."""
    kind = type(module.get_cmdb_max_buff)
    return [name for name, value in vars(module).items() if type(value) is kind]


# ---- result files ------------------------------------------------------------------


class PrivateTmp:
    """Stands in for the module-level ``os`` of zel.zel_util: ``open`` of a
    traceroute result file (``/tmp/mtraceroute_N``) creates it in a private
    directory instead; every other attribute, and every other path, is the
    real ``os``. ``opened`` lists the redirected calls as ``(path as given,
    (flags, *rest))``, ``passed`` the paths handed to the real ``os.open``
    (with ``record=False`` both stay empty, for checks that count the
    objects a call leaves behind)::

        zu.os = PrivateTmp(tmp_path)
        number = zu.get_safe_r_file()   # tmp_path / f"mtraceroute_{number}"
    """

    def __init__(self, directory: str | os.PathLike[str], record: bool = True) -> None:
        self.root = pathlib.Path(directory)
        self.record = record
        self.opened: list[tuple[str, tuple[Any, ...]]] = []
        self.passed: list[Any] = []

    def open(self, path: Any, flags: int, *rest: Any, **kwargs: Any) -> int:
        given = os.fsdecode(path) if isinstance(path, bytes) else path
        if isinstance(given, str) and given.startswith(RESULT_PREFIX):
            if self.record:
                self.opened.append((given, (flags, *rest)))
            return os.open(self.result_file(given[len(RESULT_PREFIX):]), flags, *rest, **kwargs)
        if self.record:
            self.passed.append(path)
        return os.open(path, flags, *rest, **kwargs)

    def result_file(self, number: int | str) -> str:
        """Where result file `number` is made instead of /tmp."""
        return str(self.root / f"mtraceroute_{number}")

    def __getattr__(self, name: str) -> Any:
        return getattr(os, name)


# ---- traceroutes -------------------------------------------------------------------

Probe = tuple[int, int, float]


def hop(ttl: int = 1, ip: str = "10.0.0.1", host: str = "hop",
        probes: Iterable[Probe] = ((1, -1, 1.0),), probe_count: int | None = None,
        result: int = 0, delay: float = 0.0) -> Step:
    """One query_trace_route step: a hop record (1 ends the trace)."""
    return Step(result, records.trace_response(ttl, ip, host, list(probes), probe_count), delay)


def hops(count: int, probes: Iterable[Probe] = ((1, -1, 1.0),), delay: float = 0.0,
         ip: str = "10.0.{i}.1", host: str = "hop{i}") -> list[Step]:
    """count hops with TTLs 1, 2, ..., the last one ending the trace; ip
    and host are formatted with the hop's index i (from 0)."""
    probes = list(probes)
    return [hop(i + 1, ip.format(i=i), host.format(i=i), probes, result=int(i == count - 1),
                delay=delay) for i in range(count)]


def _check_trace_arguments(header: object, reply_mtu: object, init_result: object,
                           init_delay: object) -> None:
    # Named as script_trace takes them; zel_sim.script checks the ranges.
    for name, value in (("reply_mtu", reply_mtu), ("init_result", init_result)):
        if not isinstance(value, int):
            raise TypeError(f"{name} must be an int, not {type(value).__name__} ({value!r})")
    if isinstance(init_delay, bool) or not isinstance(init_delay, (int, float)):
        raise TypeError(f"init_delay must be seconds as an int or float, "
                        f"not {type(init_delay).__name__} ({init_delay!r})")
    if header is not None and not isinstance(header, (bytes, bytearray)):
        raise TypeError(f"header must be bytes (records.trace_header(...)) or None, "
                        f"not {type(header).__name__}")


def script_trace(*steps: StepLike, header: bytes | None = None, reply_mtu: int = 1500,
                 init_result: int = 1, init_delay: float = 0.0,
                 key: bytes | str | None = None) -> None:
    """Scripts a traceroute: init_trace_route answers init_result (0: the
    trace cannot start) after init_delay with this header and reply MTU,
    query_trace_route the steps (see hop and hops); with key, for that
    destination only."""
    _check_trace_arguments(header, reply_mtu, init_result, init_delay)
    header = header or records.trace_header("target", "192.0.2.9", 30, 3, 5, 60)
    zel_sim.script("init_trace_route", result=init_result, record=header, delay=init_delay,
                   aux=records.trace_context(reply_mtu), key=key)
    zel_sim.script("query_trace_route", *steps, key=key)


# ---- counter files -----------------------------------------------------------------

Content = str | bytes | os.PathLike[str] | None


class CounterTree(Protocol):
    def __call__(self, name: str | bytes = ..., **files: Content) -> pathlib.Path: ...


@contextlib.contextmanager
def counter_tree(root: str | os.PathLike[str]) -> Iterator[CounterTree]:
    """Points the zel.zel stand-in's counter files of every port at a tree
    under root for the block; yields port(name, **files), which writes one
    port's files (``port("eth0", tx_packets="10\\n")``: str or bytes
    contents, a path makes a symbolic link to it, None no file) and returns
    root. On exit every counter path is the scenario's again (the four
    counter-file names too, should the block have changed them)."""
    import zel.zel  # type: ignore[import-untyped]

    base = pathlib.Path(root)
    zel.zel.set_stats_root(os.fsencode(base))

    def port(name: str | bytes = "eth0", **files: Content) -> pathlib.Path:
        raw = os.fsencode(name) if isinstance(name, str) else bytes(name)
        directory = os.fsencode(base) + b"/" + raw + b"/statistics"
        os.makedirs(directory, exist_ok=True)
        for counter, content in files.items():
            path = os.path.join(directory, os.fsencode(counter))
            if isinstance(content, os.PathLike):
                os.symlink(content, path)
            elif content is not None:
                with open(path, "wb") as f:
                    f.write(content.encode() if isinstance(content, str) else content)
        return base

    try:
        yield port
    finally:
        zel_sim.reset_counter_paths()


# ---- worker processes --------------------------------------------------------------


@dataclasses.dataclass(frozen=True)
class SwitchState:
    """The simulated switch of one process, as another process can take it
    on: every script at the step it has reached (the scenario's, a test's,
    those of an open ``failing`` block), how much each function is slowed
    (the scenario's ``[slow]`` and open ``slowing`` blocks), the committed
    hostname, the scenario's port counters and a test's statistics root. Not the call log,
    nor open trace contexts: those stay each process's own."""

    scripts: bytes
    hostname: bytes
    ports: tuple[Any, ...]
    stats_root: str | None
    slowness: tuple[tuple[str, float], ...] = ()

    @classmethod
    def of_this_process(cls) -> SwitchState:
        return cls(fetch(lib.zelsim_export_scripts), zel_sim.hostname(),
                   tuple(_ports.served()), _ports.stats_root(),
                   tuple((fn, s) for fn in FUNCTIONS if (s := zel_sim.slowness(fn))))


class _StateAtStart:
    """Pickles as the switch of this process at the moment it is pickled:
    for a ``spawn`` or ``forkserver`` worker, when the worker starts. A
    ``fork`` worker gets the object itself, and the switch with the memory
    it inherits."""

    def __reduce__(self) -> tuple[Any, ...]:
        state = SwitchState.of_this_process()
        return SwitchState, (state.scripts, state.hostname, state.ports, state.stats_root,
                             state.slowness)


def _check_switch_state(state: SwitchState) -> None:
    """Refuses a state whose fields are not what of_this_process makes,
    before anything changes."""
    fields: list[tuple[str, object, bool, str]] = [
        ("scripts", state.scripts, isinstance(state.scripts, bytes), "bytes"),
        ("hostname", state.hostname, isinstance(state.hostname, bytes), "bytes"),
        ("ports", state.ports, isinstance(state.ports, tuple) and all(
            isinstance(port, scenarios.Port) for port in state.ports), "a tuple of ports"),
        ("stats_root", state.stats_root, isinstance(state.stats_root, (str, type(None))),
         "a str or None"),
    ]
    for field, value, fits, what in fields:
        if not fits:
            raise ScenarioError("<worker state>", f"{field} must be {what}, "
                                f"not {type(value).__name__}")


def apply_switch_state(state: SwitchState | _StateAtStart) -> None:
    """The initializer of a worker: makes this process's simulated switch
    the one state describes; nothing to do for a forked worker. A state
    this build of the simulator did not make is refused whole (a
    ScenarioError naming what is wrong), the switch left as it was."""
    if not isinstance(state, SwitchState):
        return
    _check_switch_state(state)
    try:
        lib.zelsim_import_scripts(state.scripts, len(state.scripts))
    except Failure as failure:
        raise ScenarioError("<worker state>", failure.problem) from None
    zel_sim.set_hostname(state.hostname)
    slowed = dict(state.slowness)
    for fn in FUNCTIONS:  # the worker's own start scenario may slow others
        lib.zelsim_slow(fn.encode(), slowed.get(fn, 0.0))
    _ports.serve(list(state.ports))
    _ports.set_stats_root(state.stats_root)
    reset_sensor_flags()


def worker_setup() -> dict[str, Any]:
    """Keyword arguments for ``ProcessPoolExecutor`` or
    ``multiprocessing.Pool`` (``initializer``, ``initargs``) with which each
    worker starts on this process's simulated switch as it is when the
    worker starts: the test's scenario (marker or fixture), its scripts and
    the ``failing`` blocks open at that moment::

        with zel_sim.failing("get_temp_list", -1):
            pool = ProcessPoolExecutor(1, mp_context=spawn, **zel_sim.worker_setup())
            pool.submit(zu.system_temperatures)  # raises CFunctionError
    """
    return {"initializer": apply_switch_state, "initargs": (_StateAtStart(),)}


# ---- unraisable reports ------------------------------------------------------------


class UnraisableReports(list[Any]):
    """The reports ``sys.unraisablehook`` received inside an
    ``expect_unraisable`` block (``sys.UnraisableHookArgs``), oldest first;
    ``exceptions`` holds their exceptions."""

    @property
    def exceptions(self) -> list[BaseException | None]:
        return [report.exc_value for report in self]


@contextlib.contextmanager
def expect_unraisable(*types: type[BaseException]) -> Iterator[UnraisableReports]:
    """Captures what code in the block reports through
    ``sys.unraisablehook`` (zel.zel_util reports an unreadable counter file
    there and goes on) instead of letting it through to pytest, which turns
    such reports into errors under ``filterwarnings = error``. With types,
    the block must report at least one exception and every one of these
    types::

        with zel_sim.expect_unraisable(FileNotFoundError) as reports:
            zu.system_port_traffic("gi1/0/48")
        assert len(reports) == 1
    """
    reports = UnraisableReports()
    previous = sys.unraisablehook

    def collect(report: Any) -> None:
        reports.append(_KeptReport(report.exc_type, report.exc_value, report.exc_traceback,
                                   report.err_msg, report.object))

    sys.unraisablehook = collect
    try:
        yield reports
    finally:
        sys.unraisablehook = previous
    if types:
        unexpected = [e for e in reports.exceptions if not isinstance(e, types)]
        if not reports or unexpected:
            names = ", ".join(t.__name__ for t in types)
            raise AssertionError(f"expected unraisable reports of {names}; got "
                                 f"{[repr(e) for e in reports.exceptions]}")


@dataclasses.dataclass(frozen=True)
class _KeptReport:
    # The hook's argument is valid only during the call: its fields, kept.
    exc_type: type[BaseException] | None
    exc_value: BaseException | None
    exc_traceback: Any
    err_msg: str | None
    object: Any


# ---- resets ------------------------------------------------------------------------


def reset_sensor_flags() -> None:
    """Forgets zel.zel_util's cached answers about the temperature sensors,
    so the next call asks the platform of the current scenario. Nothing to
    do while the module is not imported."""
    module = sys.modules.get("zel.zel_util")
    if module is None:
        return
    for name in SENSOR_FLAGS:
        setattr(module, name, None)


def reset() -> Scenario:
    """Everything a test can leave behind, undone: the platform back at the
    scenario the process started with (scripts, call log, errors, trace
    contexts, hostname, port counters), the counter paths restored, the
    module's sensor flags forgotten. Returns the start scenario."""
    chosen = zel_sim.load_start_scenario()
    reset_sensor_flags()
    return chosen


class Control:
    """The control API of the simulated switch, as the ``zel_sim`` fixture
    hands it out: the functions of the zel_sim package, plus ``failing``,
    ``replacing`` and ``slowing`` for one block, and the resets."""

    Step = Step
    Call = Call
    ScenarioError = ScenarioError
    FUNCTIONS = FUNCTIONS
    LIBRARY = LIBRARY
    records = records
    scenario = scenarios

    script = staticmethod(zel_sim.script)
    replacing = staticmethod(zel_sim.replacing)
    failing = staticmethod(zel_sim.failing)
    slowing = staticmethod(zel_sim.slowing)
    slowness = staticmethod(zel_sim.slowness)
    calls = staticmethod(zel_sim.calls)
    clear_calls = staticmethod(zel_sim.clear_calls)
    total_calls = staticmethod(zel_sim.total_calls)
    clear = staticmethod(zel_sim.clear)
    reset = staticmethod(zel_sim.reset)
    load_scenario = staticmethod(zel_sim.load_scenario)
    start_scenario = staticmethod(zel_sim.start_scenario)
    load_start_scenario = staticmethod(zel_sim.load_start_scenario)
    port_directory = staticmethod(zel_sim.port_directory)
    reset_counter_paths = staticmethod(zel_sim.reset_counter_paths)
    open_trace_contexts = staticmethod(zel_sim.open_trace_contexts)
    errors = staticmethod(zel_sim.errors)
    hostname = staticmethod(zel_sim.hostname)
    set_hostname = staticmethod(zel_sim.set_hostname)
    reset_sensor_flags = staticmethod(reset_sensor_flags)
    reset_all = staticmethod(reset)
    script_trace = staticmethod(script_trace)
    worker_setup = staticmethod(worker_setup)
    expect_unraisable = staticmethod(expect_unraisable)

    def __repr__(self) -> str:
        return "<zel_sim control>"


CONTROL = Control()
