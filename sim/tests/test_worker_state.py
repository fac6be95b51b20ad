"""Worker processes a test starts take on the test's simulated switch: the
scripts (at the step each has reached), hostname and port counters cross
in zel_sim.testing.worker_setup(), captured when the worker starts."""

import concurrent.futures
import ctypes
import multiprocessing
import os
import struct
import subprocess
import sys
import textwrap

import pytest
import zel_sim as control
from zel_sim import testing
from zel_sim._lib import fetch, lib

WORKER_SUITE = """
    import concurrent.futures
    import multiprocessing
    import os

    import pytest
    import zel.zel_util as zu

    pytestmark = pytest.mark.zel_scenario('''
    extends = "default"
    [system]
    hostname = "marked-sw"
    [hardware]
    temperatures = [12.5]
    ''')


    def pool(zel_sim, method):
        return concurrent.futures.ProcessPoolExecutor(
            1, mp_context=multiprocessing.get_context(method), **zel_sim.worker_setup())


    @pytest.mark.parametrize("method", ["spawn", "forkserver", "fork"])
    def test_the_worker_has_the_marker_and_the_failing_block(zel_sim, method):
        with zel_sim.failing("get_psu_list", -4):
            with pool(zel_sim, method) as worker:
                assert worker.submit(os.getpid).result() != os.getpid()
                assert worker.submit(zu.system_temperatures).result() == (12.5,)
                assert worker.submit(zel_sim.hostname).result() == b"marked-sw"
                with pytest.raises(zu.CFunctionError) as raised:
                    worker.submit(zu.psu_list).result()
        assert raised.value.args == ("get_psu_list", -4)
"""


def test_workers_of_a_child_suite_run_on_its_marker_and_failing_block(pytester):
    pytester.makepyfile(test_workers=WORKER_SUITE)
    result = pytester.runpytest_subprocess(
        "-p", "no:cacheprovider", "-W", "error", "-W",
        "ignore:`pyramid.compat` is deprecated:DeprecationWarning",
        "-W", "ignore:This process:DeprecationWarning", timeout=300)
    result.assert_outcomes(passed=3)


def spawn_pool(**options):
    return concurrent.futures.ProcessPoolExecutor(
        1, mp_context=multiprocessing.get_context("spawn"), **options)


def temperatures():
    import zel.zel_util as zu

    return zu.system_temperatures()


def traffic(port):
    import zel.zel_util as zu

    return tuple(zu.system_port_traffic(port))


def test_a_worker_takes_the_switch_as_it_is_when_it_starts(zel_sim, tmp_path):
    zel_sim.load_scenario({"extends": "default", "hardware": {"temperatures": [1.0]},
                           "port": [{"name": "p1", "tx_packets": 5, "tx_bytes": 6,
                                     "rx_packets": 7, "rx_bytes": 8}]})
    setup = zel_sim.worker_setup()
    zel_sim.script("get_temp_list", zel_sim.Step(0, zel_sim.records.temp_list([2.0])),
                   zel_sim.Step(0, zel_sim.records.temp_list([3.0])))
    temp_list = ctypes.CDLL(control.LIBRARY).get_temp_list
    temp_list.argtypes = [ctypes.c_void_p]
    temp_list(None)  # the first step is used up here, before the worker starts
    zel_sim.set_hostname("later-sw")
    with spawn_pool(**setup) as worker:
        assert worker.submit(temperatures).result() == (3.0,)
        assert worker.submit(control.hostname).result() == b"later-sw"
        assert worker.submit(traffic, "p1").result() == (5, 6, 7, 8)
        assert worker.submit(control.calls).result()[0].fn == "get_temp_list"
    with testing.counter_tree(tmp_path) as port:
        port("p1", tx_packets="50\n", tx_bytes="60\n", rx_packets="70\n", rx_bytes="80\n")
        with spawn_pool(**zel_sim.worker_setup()) as worker:
            assert worker.submit(traffic, "p1").result() == (50, 60, 70, 80)


def test_without_the_setup_a_worker_has_the_start_scenario(zel_sim):
    zel_sim.load_scenario({"extends": "default", "hardware": {"temperatures": [1.0]}})
    start = tuple(t for t in zel_sim.start_scenario().hardware.temperatures)
    with spawn_pool() as worker:
        assert worker.submit(temperatures).result() == start


def test_a_relative_start_scenario_holds_after_the_directory_changes(tmp_path):
    # Named from the directory the process starts in; read after it moved
    # away (a daemon's chdir), by the process and by its workers.
    (tmp_path / "lab").mkdir()
    (tmp_path / "lab" / "switch.toml").write_text('[system]\nhostname = "lab-sw"\n')
    code = textwrap.dedent("""
        import concurrent.futures, multiprocessing, os
        os.chdir("/")
        import zel_sim
        from zel_sim import testing
        print(zel_sim.hostname().decode())
        for method in ("spawn", "forkserver"):
            for setup in ({}, testing.worker_setup()):
                with concurrent.futures.ProcessPoolExecutor(
                        1, mp_context=multiprocessing.get_context(method), **setup) as worker:
                    print(method, bool(setup), worker.submit(zel_sim.hostname).result().decode())
    """)
    env = {k: v for k, v in os.environ.items() if k != "ZEL_SIM_PRELOAD"}
    proc = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                          timeout=120, cwd=tmp_path, env=dict(env, ZEL_SIM_SCENARIO="lab/switch.toml"))
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.splitlines() == ["lab-sw"] + [
        f"{method} {setup} lab-sw" for method in ("spawn", "forkserver")
        for setup in (False, True)]


# ---- the scripts' own transfer -------------------------------------------------------

HEADER = 8  # the format's magic, and a digest of the build's list of platform functions


def exported():
    return fetch(lib.zelsim_export_scripts)


def test_scripts_cross_with_keys_records_delays_and_positions(zel_sim):
    temp_list = ctypes.CDLL(control.LIBRARY).get_temp_list
    temp_list.argtypes = [ctypes.c_void_p]
    zel_sim.script("get_temp_list", 1, 2, 3)
    zel_sim.script("dump_tessel_802_1x_status", zel_sim.Step(4, b"\x00rec", 0.5, b"aux\xff"),
                   key=b"gi\x001")
    zel_sim.script("get_psu_list", result=-1, key="")
    assert temp_list(None) == 1
    data = exported()
    zel_sim.clear()
    assert exported() == data[:HEADER] + bytes(4)  # no script
    lib.zelsim_import_scripts(data, len(data))
    assert exported() == data
    assert [temp_list(None), temp_list(None), temp_list(None)] == [2, 3, 3]


def count(n):
    return struct.pack("=I", n)


def script(fn=0, keyed=0, key=b"", position=0, steps=((5, 0.0, b"", b""),), step_count=None):
    """One script as the simulator writes it, field by field."""
    out = struct.pack("=BBI", fn, keyed, len(key)) + key + struct.pack(
        "=QI", position, len(steps) if step_count is None else step_count)
    for result, delay, record, aux in steps:
        out += struct.pack("=qdI", result, delay, len(record)) + record
        out += struct.pack("=I", len(aux)) + aux
    return out


# What comes after the header: each refused whole, naming what is wrong.
REFUSED = [
    (count(1) + script(steps=(), step_count=2**32 - 1),
     "the step count of script 1 (4294967295) is more than the 0 bytes left can hold"),
    (count(2**32 - 1), "the script count (4294967295) is more than the 0 bytes left can hold"),
    (count(1) + script(fn=len(control.FUNCTIONS)),
     f"function code {len(control.FUNCTIONS)} of script 1 is not one of the "
     f"{len(control.FUNCTIONS)} platform functions"),
    (count(1) + script(keyed=2), "key flag 2 of script 1 with a key of 0 bytes"),
    (count(1) + script(steps=()), "the step count of script 1 is 0"),
    (count(1) + script(steps=((0, float("nan"), b"", b""),)),
     "a delay of nan seconds is not one from 0 to 3600"),
    (count(2) + script(key=b"k", keyed=1) + script(key=b"k", keyed=1),
     "script 2 repeats a script of dump_tessel_802_1x_status for the same key"),
    (count(1) + script() + b"\x00", "1 bytes follow the last script"),
    (count(1) + script(steps=((5, 0.0, b"abcd", b""),))[:-2],
     "the data ends inside the aux of step 1 of script 1"),
]


def refused(data):
    """What applying a worker state with these scripts raises; the switch
    must be as it was."""
    kept = exported(), control.hostname()
    with pytest.raises(control.ScenarioError) as raised:
        testing.apply_switch_state(testing.SwitchState(data, b"other-sw", (), None))
    assert (exported(), control.hostname()) == kept
    return raised.value.problem


@pytest.mark.parametrize("body, problem", REFUSED)
def test_a_state_that_no_export_made_is_refused_whole_naming_why(zel_sim, body, problem):
    zel_sim.script("get_temp_list", 1, 2)
    zel_sim.set_hostname("kept-sw")
    header = exported()[:HEADER]
    # The same fields, well formed, are taken.
    flash_list = ctypes.CDLL(control.LIBRARY).get_flash_list
    flash_list.argtypes = [ctypes.c_void_p]
    good = count(1) + script(fn=control.FUNCTIONS.index("get_flash_list"))
    testing.apply_switch_state(testing.SwitchState(header + good, b"kept-sw", (), None))
    assert flash_list(None) == 5
    assert refused(header + body) == problem


def test_data_that_is_not_an_export_changes_nothing(zel_sim):
    zel_sim.script("get_temp_list", 1, 2)
    zel_sim.script("get_psu_list", zel_sim.Step(4, b"rec", 0.5, b"aux"), key="k")
    data = exported()
    for cut in range(len(data)):  # every truncation
        assert refused(data[:cut])
    assert refused(b"\x00" * 64) == "not scripts exported by the simulator"
    assert refused(data[:4] + bytes(4) + data[HEADER:]) == (
        "scripts of another build of the simulator (its platform functions differ)")
    assert refused(data.decode("latin-1")) == "scripts must be bytes, not str"
    with pytest.raises(control.ScenarioError, match="hostname must be bytes, not str"):
        testing.apply_switch_state(testing.SwitchState(data, "str", (), None))
