"""`python -m zel_sim snapshot` against the simulator, each run in a process
of its own so that the process's start scenario is the switch it reads.

For the default scenario and every scenario of the project's docs, examples
and tests (A): the snapshot of the simulator running A is a file B that
`check` accepts; the simulator running B answers every read-only operation
as it does running A; and the snapshot of the simulator running B is B
again, but for the line saying when and from what it was taken."""

from __future__ import annotations

import json
import os
import pathlib
import re
import subprocess
import sys
import tomllib

import pytest
import zel_sim.scenario
from zel_sim import snapshot
from zel_sim._readings import READINGS

ROOT = pathlib.Path(__file__).resolve().parent.parent
READONLY = pathlib.Path(__file__).with_name("readonly.py")
# A target no scenario names: its trace is the scenario's default route.
OTHER_TARGET = "198.18.0.1"


def env(scenario: pathlib.Path | None, **more: str) -> dict[str, str]:
    out = {k: v for k, v in os.environ.items() if k not in ("ZEL_SIM_SCENARIO",
                                                           "ZEL_SIM_PRELOAD")}
    if scenario is not None:
        out["ZEL_SIM_SCENARIO"] = str(scenario)
    out.update(more)
    return out


def start_snapshot(scenario: pathlib.Path | None, output: pathlib.Path, *args: str,
                   **more: str) -> subprocess.Popen[str]:
    return subprocess.Popen(
        [sys.executable, "-W", "ignore::DeprecationWarning", "-m", "zel_sim", "snapshot",
         "-o", str(output), *args], env=env(scenario, **more), cwd=output.parent,
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def start_results(scenario: pathlib.Path, ports: list[str],
                  traces: list[str]) -> subprocess.Popen[str]:
    asked = json.dumps({"ports": ports, "traces": traces})
    return subprocess.Popen([sys.executable, "-W", "ignore::DeprecationWarning", str(READONLY),
                             asked], env=env(scenario), stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True)


def finish(proc: subprocess.Popen[str]) -> str:
    out, err = proc.communicate(timeout=120)
    assert proc.returncode == 0, err
    return out


def doc_scenarios(tmp: pathlib.Path) -> list[pathlib.Path]:
    """The docs' TOML blocks that are whole files (first line `# name.toml`)."""
    found = []
    for page in sorted((ROOT / "docs").glob("*.md")):
        for block in re.findall(r"```toml\n(.*?)```", page.read_text(), re.S):
            first = block.splitlines()[0]
            if m := re.fullmatch(r"# ([\w.-]+\.toml)", first.strip()):
                path = tmp / f"{page.stem}-{m.group(1)}"
                path.write_text(block)
                found.append(path)
    return found


SECTIONS = {"extends", "system", "dot1x", "port", "hardware", "mtraceroute", "traceroute",
            "fail"}


def is_scenario(path: pathlib.Path) -> bool:
    """A TOML file that says something of a switch (not a pyproject.toml)."""
    try:
        keys = set(tomllib.loads(path.read_text(encoding="utf-8")))
    except (tomllib.TOMLDecodeError, UnicodeDecodeError):
        return True  # broken: let the round trip say so
    return bool(keys & SECTIONS) or not keys


def scenario_files(tmp: pathlib.Path) -> dict[str, pathlib.Path]:
    files = {"default": zel_sim.scenario.DEFAULT_PATH}
    for path in doc_scenarios(tmp):
        files[f"docs:{path.name}"] = path
    for folder in ("docs", "examples", "tests"):
        for path in sorted((ROOT / folder).rglob("*.toml")):
            if is_scenario(path):
                files[str(path.relative_to(ROOT))] = path
    return files


def ports_and_traces(path: pathlib.Path) -> tuple[list[str], list[str]]:
    chosen = zel_sim.scenario.load(path)
    ports = [d.interface for d in chosen.dot1x]
    ports += [p.name for p in chosen.port if p.name not in ports]
    return ports, [d.target for d in chosen.traceroute.destination] + [OTHER_TARGET]


class RoundTrip:
    def __init__(self, name: str, a: pathlib.Path, work: pathlib.Path) -> None:
        self.name, self.a = name, a
        self.ports, self.traces = ports_and_traces(a)
        self.b = work / f"{re.sub(r'[^\w.-]', '_', name)}.snapshot.toml"
        self.c = self.b.with_suffix(".again.toml")

    def first(self) -> list[subprocess.Popen[str]]:
        return [start_snapshot(self.a, self.b, "--trace", *self.traces),
                start_results(self.a, self.ports, self.traces)]

    def second(self) -> list[subprocess.Popen[str]]:
        return [start_results(self.b, self.ports, self.traces),
                start_snapshot(self.b, self.c, "--trace", *self.traces)]


@pytest.fixture(scope="module")
def round_trips(tmp_path_factory):
    """Every scenario's round trip, the processes of each phase run at once
    (the simulated traces spend their time waiting)."""
    work = tmp_path_factory.mktemp("snapshots")
    trips = [RoundTrip(name, path, work) for name, path in scenario_files(work).items()]
    first = [trip.first() for trip in trips]
    for trip, (snap, results) in zip(trips, first):
        trip.snapshot_stderr = snap.communicate(timeout=120)[1]
        assert snap.returncode == 0, trip.snapshot_stderr
        trip.results_a = json.loads(finish(results))
    second = [trip.second() for trip in trips]
    for trip, (results, snap) in zip(trips, second):
        trip.results_b = json.loads(finish(results))
        finish(snap)
    return {trip.name: trip for trip in trips}


def test_every_project_scenario_takes_part(round_trips):
    assert "default" in round_trips and "docs:scenarios-lab-switch.toml" in round_trips


def test_the_snapshot_is_a_valid_scenario_with_its_header(round_trips):
    for trip in round_trips.values():
        proc = subprocess.run([sys.executable, "-m", "zel_sim", "check", str(trip.b)],
                              capture_output=True, text=True, env=env(None))
        assert proc.returncode == 0, (trip.name, proc.stderr)
        lines = trip.b.read_text(encoding="utf-8").splitlines()
        assert re.fullmatch(r"# Snapshot taken \d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ by `python -m "
                            r"zel_sim snapshot` from the simulator running .+\.", lines[0])
        assert str(trip.a) in lines[0]
        assert lines[3] == "# Ports: " + ", ".join(f'"{p}"' for p in trip.ports) + "."


def test_the_simulator_running_the_snapshot_answers_as_the_original(round_trips):
    for trip in round_trips.values():
        assert list(trip.results_b) == list(trip.results_a)
        for call, result in trip.results_a.items():
            assert trip.results_b[call] == result, (
                f"{trip.name}: {call} differs once snapshot: sim/zel_sim/_snapshot_reading.py "
                f"writes what it returns into the scenario")


def test_a_snapshot_of_the_snapshot_is_the_snapshot(round_trips):
    for trip in round_trips.values():
        b, c = (p.read_text(encoding="utf-8").splitlines() for p in (trip.b, trip.c))
        assert [line for line in b if not snapshot.is_header_line(line)] == [
            line for line in c if not snapshot.is_header_line(line)], trip.name
        assert sum(map(snapshot.is_header_line, b)) == 1


def test_the_default_switch_is_read_whole(round_trips):
    trip = round_trips["default"]
    assert trip.snapshot_stderr == ""
    assert trip.results_a["get_8021x_status('gi1/0/1')"].startswith("= {'name': 'gi1/0/1'")
    assert "hops" in trip.results_a[f"get_diagnostic_data({OTHER_TARGET!r})"]
    data = zel_sim.scenario.load(trip.b)
    assert [d.target for d in data.traceroute.destination] == trip.traces
    assert data.system.hostname == "zel-switch"


def test_failures_are_recorded_as_failures_and_reported(tmp_path):
    a = tmp_path / "failing.toml"
    a.write_text('extends = "default"\n'
                 '[[dot1x]]\ninterface = "gi1/0/2"\nresult = -1\n'
                 '[[port]]\nname = "gi1/0/4"\nunreadable = ["rx_bytes", "tx_packets"]\n'
                 '[[traceroute.destination]]\ntarget = "192.0.2.7"\nresult = 0\n'
                 '[fail]\nget_temp_list = -5\nget_psu_list = 3\n')
    b = tmp_path / "failing.snapshot.toml"
    ports = ["gi1/0/1", "gi1/0/2", "gi1/0/4", "gi9/9"]
    traces = ["192.0.2.7", "192.168.1.254"]
    proc = start_snapshot(a, b, "--ports", ",".join(ports), "--trace", *traces)
    _, err = proc.communicate(timeout=120)
    assert proc.returncode == 0, err
    reported = [line for line in err.splitlines() if line.startswith("zel_sim snapshot: ")]
    for expected in [
        "get_8021x_status('gi1/0/2'): dump_tessel_802_1x_status failed with -1; "
        "recorded as its result = -1",
        "get_8021x_status('gi9/9'): dump_tessel_802_1x_status failed with -1; "
        "recorded as its result = -1",
        "system_port_traffic('gi1/0/4'): tx_packets could not be read; recorded as "
        "unreadable, replayed as a missing file",
        "system_port_traffic('gi1/0/4'): rx_bytes could not be read; recorded as "
        "unreadable, replayed as a missing file",
        "system_temperatures(): get_temp_list failed with -5; recorded as "
        "[fail] get_temp_list = -5",
        "psu_list(): get_psu_list failed with 3; recorded as [fail] get_psu_list = 3",
        "trace to '192.0.2.7': init_trace_route failed (it returned a null pointer, which "
        "the module reports as the context's result -1); recorded as its result = 0, a null "
        "pointer",
    ]:
        assert f"zel_sim snapshot: {expected}" in reported
    # One line per failure and nothing else: no warning of an import, no
    # traceback the module prints for a counter it cannot read.
    assert err.splitlines() == reported
    # gi9/9 has no counter files at all: four failures.
    assert sum("'gi9/9'): " in line and "could not be read" in line for line in reported) == 4
    data = zel_sim.scenario.load(b)
    assert data.fail == {"get_temp_list": -5, "get_psu_list": 3}
    assert {d.interface: d.result for d in data.dot1x} == {
        "gi1/0/1": 1, "gi1/0/2": -1, "gi1/0/4": 1, "gi9/9": -1}
    assert {p.name: p.unreadable for p in data.port} == {
        "gi1/0/1": [], "gi1/0/2": [], "gi1/0/4": ["tx_packets", "rx_bytes"],
        "gi9/9": ["tx_packets", "tx_bytes", "rx_packets", "rx_bytes"]}
    assert [(d.target, d.result) for d in data.traceroute.destination] == [
        ("192.0.2.7", 0), ("192.168.1.254", 1)]
    text = b.read_text(encoding="utf-8")
    assert "# Platform failures met, each recorded as that failure:" in text
    results = [json.loads(finish(start_results(path, ports, traces))) for path in (a, b)]
    assert results[0] == results[1]
    assert results[0]["system_temperatures"] == "! CFunctionError('get_temp_list', -5)"


def test_a_broken_start_scenario_is_refused(tmp_path):
    a = tmp_path / "broken.toml"
    a.write_text("[system]\nhostnme = 1\n")
    proc = start_snapshot(a, tmp_path / "out.toml")
    _, err = proc.communicate(timeout=60)
    assert proc.returncode == 1
    assert f"scenario {a}: Object contains unknown field `hostnme`" in err
    assert not (tmp_path / "out.toml").exists()


def test_the_scenario_path_stays_in_the_header_comment(tmp_path):
    # The path names a file a check would otherwise follow.
    a = tmp_path / 'a\nextends = "missing.toml"\n\x01.toml'
    a.write_text('[system]\nhostname = "sw"\n')
    out = tmp_path / "b.toml"
    finish(start_snapshot(a, out))
    assert zel_sim.scenario.load(out).system.hostname == "sw"
    escaped = str(a).replace('"', '\\"').replace("\n", "\\n").replace("\x01", "\\u0001")
    assert out.read_text(encoding="utf-8").splitlines()[0].endswith(
        f'from the simulator running "{escaped}".')


def test_device_mode_never_loads_the_simulator(tmp_path):
    # No platform in the process: --device reports it instead of loading the
    # simulator (the start scenario is not even read).
    proc = start_snapshot(tmp_path / "nonexistent.toml", tmp_path / "out.toml", "--device")
    _, err = proc.communicate(timeout=60)
    assert (proc.returncode, err) == (
        1, "zel_sim snapshot: --device: the platform is not in this process (no platform "
           "library is loaded here): run the command where the back-end runs on the switch, "
           "or read the simulator with --simulator\n")


def test_a_process_that_has_the_platform_is_read_as_a_device(tmp_path):
    # The platform library preloaded, as a switch's process has its own: the
    # command finds it, reads the platform as it is (no scenario applied:
    # every call gets the platform's empty answer) and the kernel's ports.
    preload = " ".join(filter(None, [os.environ.get("LD_PRELOAD"), zel_sim.LIBRARY]))
    out = tmp_path / "device.toml"
    proc = start_snapshot(tmp_path / "nonexistent.toml", out, LD_PRELOAD=preload)
    _, err = proc.communicate(timeout=60)
    assert proc.returncode == 0, err
    text = out.read_text(encoding="utf-8")
    assert re.match(r"# Snapshot taken \S+ by `python -m zel_sim snapshot` from the switch's "
                    r"own platform on host ", text)
    data = zel_sim.scenario.load(out)
    kernel = snapshot.kernel_interfaces()
    assert [d.interface for d in data.dot1x] == kernel
    assert all(d.result == 0 for d in data.dot1x)  # the empty platform answers 0
    assert data.hardware.temperatures == [] and data.system.backup_time is False



# On a switch only the package's own Python files are installed, beside the
# module: none of the simulator's dependencies.
NOT_ON_THE_SWITCH = """
import sys
class NotOnTheSwitch:
    def find_spec(self, name, path=None, target=None):
        if name.partition(".")[0] in ("msgspec", "tomli_w"):
            raise ImportError(f"{name} is not installed on the switch")
sys.meta_path.insert(0, NotOnTheSwitch())
"""


def test_a_device_snapshot_needs_none_of_the_simulators_dependencies(tmp_path):
    (tmp_path / "sitecustomize.py").write_text(NOT_ON_THE_SWITCH, encoding="utf-8")
    preload = " ".join(filter(None, [os.environ.get("LD_PRELOAD"), zel_sim.LIBRARY]))
    path = os.pathsep.join(filter(None, [str(tmp_path), os.environ.get("PYTHONPATH")]))
    out = tmp_path / "device.toml"
    proc = start_snapshot(None, out, "--device", "--ports", "gi1/0/1", LD_PRELOAD=preload,
                          PYTHONPATH=path)
    _, err = proc.communicate(timeout=120)
    assert proc.returncode == 0, err
    assert zel_sim.scenario.load(out).dot1x[0].interface == "gi1/0/1"

@pytest.mark.parametrize("field", list(READINGS))
@pytest.mark.parametrize("value", [7, 65535])
def test_a_value_the_platform_answers_as_it_is_goes_both_ways(zu, zel_sim, field, value):
    # A [system] value of the readings table: the scenario sets what the
    # module returns, and a snapshot writes that value back under its field.
    reading = READINGS[field]
    zel_sim.load_scenario({"system": {field: value}})
    assert getattr(zu, reading.operation)() == value
    taken = snapshot.take(zu, [], report=lambda message: None)
    assert taken.data["system"][field] == value
    assert not taken.notes or all(reading.operation not in note for note in taken.notes)
