"""The pytest plugin: the zel_sim fixture, the zel_scenario marker, the
zel_sim_autouse option, and zel_sim.failing. Suites are run in a child
pytest (pytester), so that each starts as a user's suite does."""

import ctypes
import pathlib
import sys

import pytest
import zel_sim as control

START = """
extends = "default"
[system]
hostname = "start-sw"
[hardware]
temperatures = [30.0, 31.0]
"""

ONE_SENSOR = """
extends = "default"
[system]
hostname = "one-sensor"
[hardware]
temperatures = [50.0]
"""

OPTIONS = ("-p", "no:cacheprovider", "--strict-markers", "-W", "error",
           "-W", "ignore:`pyramid.compat` is deprecated:DeprecationWarning")


def run(pytester, *args):
    return pytester.runpytest_subprocess(*OPTIONS, *args, timeout=120)


@pytest.fixture
def start(pytester, monkeypatch):
    """The child suites start on START (ZEL_SIM_SCENARIO)."""
    path = pytester.path / "start.toml"
    path.write_text(START)
    monkeypatch.setenv("ZEL_SIM_SCENARIO", str(path))
    return path


def test_fixture_resets_everything_to_the_start_scenario(pytester, start):
    pytester.makepyfile(test_reset="""
        import os
        import zel.zel
        import zel.zel_util as zu

        def test_a_test_changes_everything(zel_sim, tmp_path):
            assert zel_sim.hostname() == b"start-sw"
            assert zu.multiple_temperature_sensors() is True
            zel_sim.load_scenario('[system]\\nhostname = "other"')
            zel_sim.script("get_temp_list", result=-1)
            zel_sim.set_hostname("changed")
            zel.zel.set_stats_root(os.fsencode(tmp_path))
            zel.zel.set_counter_file("SYS_CLASS_NET_STATS_RX_BYTES", "other")
            zel_sim.script("init_trace_route", result=1)
            zel_sim.script("query_trace_route", result=1)
            zu.get_diagnostic_data({}, "h")
            zel_sim.script("query_trace_route", result=0)
            context = zel_sim.calls("init_trace_route")
            assert context and zel_sim.errors() == []
            zu._HAS_TEMPERATURE_SENSOR = "stale"

        def test_the_next_one_finds_the_start_switch(zel_sim):
            assert zel_sim.start_scenario().system.hostname == "start-sw"
            assert zel_sim.hostname() == b"start-sw"
            assert zel_sim.calls() == [] and zel_sim.errors() == []
            assert zel_sim.open_trace_contexts() == 0
            assert zel.zel.stats_root() == "/sys/class/net"
            assert zu._HAS_TEMPERATURE_SENSOR is None
            assert zu.system_temperatures() == (30.0, 31.0)
            assert zu.has_temperature_sensor() is True
    """)
    result = run(pytester)
    result.assert_outcomes(passed=2)


def test_a_trace_context_left_open_fails_the_test(pytester, start):
    pytester.makepyfile(test_trace_left_open="""
        import ctypes
        import zel_sim as control

        def test_opens_a_trace_and_never_frees_it(zel_sim):
            lib = ctypes.CDLL(control.LIBRARY)
            lib.init_trace_route.restype = ctypes.c_void_p
            zel_sim.script("init_trace_route", result=1)
            header = ctypes.create_string_buffer(1024)
            assert lib.init_trace_route(b"h", 1, 1, 1, header)

        def test_the_next_one_starts_with_none_open(zel_sim):
            assert zel_sim.open_trace_contexts() == 0
    """)
    result = run(pytester)
    result.assert_outcomes(passed=2, errors=1)
    result.stdout.fnmatch_lines([
        "*ERROR at teardown of test_opens_a_trace_and_never_frees_it*",
        "*zel_sim: 1 trace context(s) left open by this test "
        "(init_trace_route without free_trace_route)"])


def test_marker_takes_a_file_text_or_dict_for_one_test(pytester, start):
    (pytester.path / "scenarios").mkdir()
    (pytester.path / "scenarios" / "one.toml").write_text(ONE_SENSOR)
    pytester.makepyfile(test_marker="""
        import pytest
        import zel.zel_util as zu
        import zel_sim as control

        @pytest.mark.zel_scenario("scenarios/one.toml")
        def test_file_relative_to_the_test(zel_sim):
            assert control.hostname() == b"one-sensor"
            assert zu.multiple_temperature_sensors() is False

        def test_start_again_with_fresh_flags(zel_sim):
            assert control.hostname() == b"start-sw"
            assert zu.multiple_temperature_sensors() is True

        @pytest.mark.zel_scenario('extends = "scenarios/one.toml"\\n[system]\\nhostname = "t"')
        def test_inline_text_extends_relative_to_the_test():
            # The marker alone brings the fixture's resets.
            assert control.hostname() == b"t"
            assert zu.system_temperatures() == (50.0,)

        @pytest.mark.zel_scenario({"hardware": {"temperatures": []}})
        def test_dict(zel_sim):
            assert zu.has_temperature_sensor() is False

        @pytest.mark.zel_scenario("missing.toml")
        def test_unusable_scenario_is_an_error(zel_sim):
            pass

        def test_and_start_once_more():
            assert control.hostname() == b"start-sw"
            assert zu.has_temperature_sensor() is True
    """)
    result = run(pytester)
    result.assert_outcomes(passed=5, errors=1)
    result.stdout.fnmatch_lines(["@pytest.mark.zel_scenario of test_marker.py::"
                                 "test_unusable_scenario_is_an_error cannot be used: "
                                 "scenario */missing.toml: No such file or directory"])


def test_marker_is_registered_for_strict_markers(pytester):
    result = run(pytester, "--markers")
    result.stdout.fnmatch_lines(["@pytest.mark.zel_scenario(source): *"])


def test_not_autouse_unless_asked(pytester):
    pytester.makepyfile(test_plain="""
        import sys

        def test_nothing_of_the_simulator_is_loaded():
            assert "zel_sim" not in sys.modules
            assert "ctypes" not in sys.modules
    """)
    run(pytester, "-p", "no:faulthandler").assert_outcomes(passed=1)


def test_autouse_option_resets_around_every_test(pytester, start):
    pytester.makeini("[pytest]\nzel_sim_autouse = true\n")
    pytester.makepyfile(test_auto="""
        import zel_sim

        def test_a():
            zel_sim.script("get_temp_list", result=-1)
            zel_sim.set_hostname("changed")

        def test_b():
            assert zel_sim.hostname() == b"start-sw"
            assert zel_sim.calls() == []
    """)
    run(pytester).assert_outcomes(passed=2)


UNUSABLE = {
    "test_unknown_key": {"system": {"hostnme": "x"}},
    "test_wrong_type": "[system]\nbackup_time = true",
    "test_missing_file": "missing.toml",
}


def test_an_unusable_marker_is_a_short_error_of_the_test(pytester):
    # What the developer sees: the marker, the test and what is wrong, and
    # none of the plugin's or the loader's frames.
    marked = "".join(f"@pytest.mark.zel_scenario({source!r})\ndef {name}():\n    pass\n\n"
                     for name, source in UNUSABLE.items())
    pytester.makepyfile(test_bad="import pytest\n\n" + marked + """
@pytest.mark.zel_scenario()
def test_none():
    pass

@pytest.mark.zel_scenario("a.toml", "b.toml")
def test_two():
    pass
""")
    result = run(pytester)
    result.assert_outcomes(errors=5)
    prefix = "@pytest.mark.zel_scenario of test_bad.py::"
    expected = []
    for name, source in UNUSABLE.items():
        with pytest.raises(control.ScenarioError) as error:
            control.scenario.load(source, pytester.path)
        expected.append(f"{prefix}{name} cannot be used: {error.value}")
    expected += [
        f"{prefix}test_none takes one scenario (a path, TOML text or a dict), not ()",
        f"{prefix}test_two takes one scenario (a path, TOML text or a dict), "
        "not ('a.toml', 'b.toml')",
    ]
    assert [line for line in result.stdout.lines if line.startswith(prefix)] == expected
    lines = result.stdout.lines
    start = next(k for k, line in enumerate(lines) if " ERRORS " in line)
    end = next(k for k, line in enumerate(lines) if " short test summary " in line)
    # One heading and one line per test.
    assert end - start - 1 == 2 * len(expected)


# ---- failing and replacing, in this process ------------------------------------------


@pytest.fixture(scope="module")
def temp_list():
    lib = ctypes.CDLL(control.LIBRARY)
    return lambda: lib.get_temp_list(None)


def test_failing_puts_the_script_back_where_it_had_got_to(zel_sim, temp_list):
    zel_sim.script("get_temp_list", 0, 5, 7)
    assert temp_list() == 0
    with zel_sim.failing("get_temp_list", -1):
        assert [temp_list(), temp_list()] == [-1, -1]
    assert [temp_list(), temp_list(), temp_list()] == [5, 7, 7]


def test_failing_is_a_function_of_the_package_and_survives_a_reset(zel_sim, temp_list):
    zel_sim.script("get_temp_list", 3)
    with control.failing("get_temp_list", -2):
        assert temp_list() == -2
        control.clear()
        assert temp_list() == 0
    assert temp_list() == 3


def test_failing_covers_keyed_scripts_and_one_key_alone(zel_sim):
    import zel.zel_util as zu

    zel_sim.load_start_scenario()
    names = [p.interface for p in zel_sim.start_scenario().dot1x][:2]
    assert len(names) == 2
    before = [zu.get_8021x_status(name) for name in names]
    with zel_sim.failing("dump_tessel_802_1x_status", -1):
        for name in names:
            with pytest.raises(zu.CFunctionError):
                zu.get_8021x_status(name)
    with zel_sim.failing("dump_tessel_802_1x_status", -1, key=names[0]):
        with pytest.raises(zu.CFunctionError):
            zu.get_8021x_status(names[0])
        assert zu.get_8021x_status(names[1]) == before[1]
    assert [zu.get_8021x_status(name) for name in names] == before


def test_failing_restores_an_absent_script_as_absent(zel_sim, temp_list):
    zel_sim.script("get_temp_list")
    with zel_sim.failing("get_temp_list", -1, record=b"\x01"):
        assert temp_list() == -1
    assert temp_list() == 0
    assert [c.fn for c in zel_sim.calls()] == ["get_temp_list"] * 2


def test_failing_is_undone_when_the_block_raises(zel_sim, temp_list):
    zel_sim.script("get_temp_list", 4)
    with pytest.raises(KeyError):
        with zel_sim.failing("get_temp_list", -1):
            raise KeyError
    assert temp_list() == 4


def test_failing_refuses_an_unknown_function_and_a_wrong_result(zel_sim, temp_list):
    with pytest.raises(ValueError) as error:
        with zel_sim.failing("get_temps", -1):
            pass
    assert str(error.value) == ("no platform function named 'get_temps' "
                                "(did you mean 'get_temp_list'?)")
    zel_sim.script("get_temp_list", 3)
    with pytest.raises(TypeError) as error:
        with zel_sim.failing("get_temp_list", "x"):
            pass
    assert str(error.value) == "result must be an int, not str ('x')"
    assert temp_list() == 3


@pytest.mark.parametrize("exits", [(0, 1), (1, 0)], ids=["in-order-begun", "nested"])
@pytest.mark.parametrize("keys", [(None, None), (None, b"gi1"), (b"gi1", None)])
def test_blocks_ending_in_any_order_leave_the_function_as_before_both(zel_sim, plat, keys,
                                                                       exits):
    fn = "dump_tessel_802_1x_status"
    zel_sim.script(fn, 5, 6, 7)
    zel_sim.script(fn, 8, 9, key=b"gi1")

    def answers():
        return [plat.dump_tessel_802_1x_status(name, None) for name in (b"gi1", b"gi2")]

    assert answers() == [8, 5]
    blocks = [zel_sim.failing(fn, -1, key=keys[0]), zel_sim.replacing(fn, key=keys[1])]
    for block in blocks:
        block.__enter__()
    zel_sim.script(fn, -2, key=keys[1])  # what the second block scripts afresh
    blocks[exits[0]].__exit__(None, None, None)
    if exits == (0, 1):  # the block begun later still holds its place
        assert plat.dump_tessel_802_1x_status(b"gi1", None) == -2
    blocks[exits[1]].__exit__(None, None, None)
    assert answers() == [9, 6]  # each script from where it had got to


def test_sensor_flags_are_left_alone_while_the_module_is_not_imported(python_without_module):
    assert python_without_module.returncode == 0, python_without_module.stderr


@pytest.fixture
def python_without_module():
    import subprocess

    code = ("import sys, zel_sim.testing as t; t.reset_sensor_flags(); t.reset(); "
            "assert 'zel.zel_util' not in sys.modules")
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                          timeout=60)


def test_typed_client_suite_runs(pytester):
    """tests/typing/sim_client.py, which make typecheck checks with mypy
    --strict, passes as a suite of its own."""
    client = pathlib.Path(__file__).resolve().parents[2] / "tests" / "typing" / "sim_client.py"
    pytester.makepyfile(test_sim_client=client.read_text())
    run(pytester).assert_outcomes(passed=2)
