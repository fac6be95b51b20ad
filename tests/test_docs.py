"""The guides against the module: docs/backend.md's examples (the blocks
marked `<!-- doc-test: NAME -->`) run, and its claims and docs/installing.md's
hold."""

import asyncio
import datetime
import json
import os
import pathlib
import re
import shlex
import subprocess
import sys
import threading
import time

import pytest
from zel_sim import Step, records
from zel_sim.testing import hops as trace_hops
from zel_sim.testing import script_trace
from interpreter_versions import warns_of_cgi

import zel.zel_util as zel_util_module
import zel_platform_pool as pool_errors
from zel_platform_pool import InProcess, http_answer
from operations import NO_ARGUMENTS, OPERATIONS

ROOT = pathlib.Path(__file__).resolve().parent.parent
DOCS = ROOT / "docs"
BACKEND = (DOCS / "backend.md").read_text(encoding="utf-8")
REFERENCE = (DOCS / "reference.md").read_text(encoding="utf-8")
PYRAMID_FILTER = "ignore:`pyramid.compat` is deprecated:DeprecationWarning"
DEPRECATION = "DeprecationWarning: `pyramid.compat` is deprecated"


def blocks(text):
    found = re.findall(r"^<!-- doc-test: ([\w-]+) -->\n```\w+\n(.*?)^```$", text, re.M | re.S)
    names = [name for name, _ in found]
    assert len(set(names)) == len(names) == text.count("<!-- doc-test:")
    return dict(found)


EXAMPLES = blocks(BACKEND)


def child_env():
    """The environment of a child process: the simulator's default switch."""
    env = dict(os.environ)
    env.pop("ZEL_SIM_SCENARIO", None)
    env.pop("PYTHONWARNINGS", None)
    return env


def run(args, cwd, check=True):
    proc = subprocess.run(args, capture_output=True, text=True, cwd=cwd, env=child_env(),
                          timeout=120)
    if check:
        assert proc.returncode == 0, proc.stdout + proc.stderr
    return proc


def run_example(name, tmp_path, *options, source=None):
    """Runs the example as a script of its own, warnings as errors except
    pyramid's."""
    script = tmp_path / f"{name.replace('-', '_')}.py"
    script.write_text(source if source is not None else EXAMPLES[name], encoding="utf-8")
    return run([sys.executable, "-W", "error", "-W", PYRAMID_FILTER, *options, str(script)],
               tmp_path)


def load_example(name):
    namespace = {"__name__": f"doc_example_{name.replace('-', '_')}"}
    exec(compile(EXAMPLES[name], f"docs/backend.md:{name}", "exec"), namespace)
    return namespace


# ---- the interpreter lock ----------------------------------------------------------

DELAY = 0.25  # seconds the scripted platform takes


def table_functions(header):
    """The functions named in the first column of the table with this header."""
    lines = BACKEND.split(header + "\n", 1)[1].split("\n\n", 1)[0].splitlines()
    return [name for line in lines[1:] for name in re.findall(r"`(\w+)`", line.split("|")[1])]


RELEASING = table_functions("| Function | Lets other threads run |")
# The guide says every other function holds the lock.
HOLDING = [name for name in OPERATIONS if name not in RELEASING]


def slow(zel_sim, fn, result=0, record=None):
    zel_sim.script(fn, Step(result, record if record is not None else b"", DELAY))


# How to make each function's platform call take DELAY seconds, and the call;
# a function without arguments left out here has its first platform call
# slowed (slowed_call).
PLATFORM_CALLS = {
    "get_8021x_status": (
        lambda zel_sim: slow(zel_sim, "dump_tessel_802_1x_status", 1, records.dot1x_status(name="p")),
        lambda zu: zu.get_8021x_status("p")),
    "get_8021x_sessions": (
        lambda zel_sim: slow(zel_sim, "dump_tessel_802_1x_status", 1, records.dot1x_status(name="p")),
        lambda zu: zu.get_8021x_sessions("p")),
    "has_temperature_sensor": (
        lambda zel_sim: slow(zel_sim, "get_temp_list", 0, records.temp_list([40.0])),
        lambda zu: (setattr(zu, "_HAS_TEMPERATURE_SENSOR", None), zu.has_temperature_sensor())),
    "multiple_temperature_sensors": (
        lambda zel_sim: slow(zel_sim, "get_temp_list", 0, records.temp_list([40.0])),
        lambda zu: (setattr(zu, "_MULTIPLE_TEMPERATURE_SENSORS", None),
                    zu.multiple_temperature_sensors())),
    "set_hostname": (lambda zel_sim: slow(zel_sim, "check_create_zel_query"),
                     lambda zu: zu.set_hostname("sw")),
    "delete_sticky_mac_unsaved": (lambda zel_sim: slow(zel_sim, "sms_do_flush"),
                                  lambda zu: zu.delete_sticky_mac_unsaved()),
    "exec_mtraceroute": (lambda zel_sim: slow(zel_sim, "api_mtraceroute"),
                         lambda zu: zu.exec_mtraceroute("0", "232.1.1.1")),
    "get_diagnostic_data": (lambda zel_sim: slow(zel_sim, "init_trace_route"),
                            lambda zu: zu.get_diagnostic_data({}, "10.0.0.1")),
}
# No platform call to slow down: constants, and the two functions that work
# on files through Python's own file functions.
CONSTANTS = {"get_cmdb_max_buff", "stp_instance_priority_default"}
FILE_FUNCTIONS = {"system_port_traffic", "get_safe_r_file"}


def slowed_call(zu, zel_sim, name):
    """The call of `name`, its platform call made to take DELAY seconds (on
    a cleared platform)."""
    zel_sim.clear()
    if name in PLATFORM_CALLS:
        prepare, call = PLATFORM_CALLS[name]
        prepare(zel_sim)
        return lambda: call(zu)

    def call():
        try:
            getattr(zu, name)()
        except Exception:  # what a default answer makes it raise, after the delay
            pass

    call()
    made = zel_sim.calls()
    assert made, f"{name} makes no platform call to slow down"
    zel_sim.clear()
    slow(zel_sim, made[0].fn)
    return call


def another_thread_during(call):
    """The times of a second thread's steps while call() runs, between the
    time of its last step before and the time call() returns."""
    steps, done = [], threading.Event()

    def count():
        while not done.is_set():
            steps.append(time.monotonic())
            time.sleep(0.001)

    counter = threading.Thread(target=count)
    counter.start()
    time.sleep(0.02)
    before = len(steps) - 1
    try:
        call()
    finally:
        during = [*steps[before:], time.monotonic()]
        done.set()
        counter.join(60)
    return during


def longest_stop(times):
    return max(later - earlier for earlier, later in zip(times, times[1:]))


def reference_locks():
    """{function: "held" or "released"}, from the "Lock:" line of each
    function's section in docs/reference.md."""
    sections = re.split(r"^### `(\w+)\(.*\)`$", REFERENCE, flags=re.M)[1:]
    return {name: m.group(1) for name, body in zip(sections[::2], sections[1::2])
            if (m := re.search(r"Lock: (held|released)", body))}


def test_the_lock_documents_agree(zu):
    assert sorted(RELEASING) == sorted(set(RELEASING)) and set(RELEASING) <= set(OPERATIONS), \
        "docs/backend.md: the lock table names functions of the module, each once"
    assert set(RELEASING) == {"exec_mtraceroute", "get_diagnostic_data"} | FILE_FUNCTIONS
    released = {name for name, lock in reference_locks().items() if lock == "released"}
    assert released == set(RELEASING) - FILE_FUNCTIONS, \
        "docs/reference.md: a \"Lock: released\" line for exactly the calls that release it"
    assert not set(HOLDING) - CONSTANTS - set(PLATFORM_CALLS) - set(NO_ARGUMENTS), \
        "tests/test_docs.py: PLATFORM_CALLS says how to slow each call that holds the lock"
    assert set(PLATFORM_CALLS) & set(RELEASING) == {"exec_mtraceroute", "get_diagnostic_data"}


@pytest.mark.parametrize("name", sorted(set(HOLDING) - CONSTANTS))
def test_a_call_said_to_hold_the_lock_stops_every_thread(zu, zel_sim, name):
    """The other thread stands still for the whole platform call (a busy
    machine may let it step before and after)."""
    assert longest_stop(another_thread_during(slowed_call(zu, zel_sim, name))) >= DELAY


@pytest.mark.parametrize("name", sorted(set(PLATFORM_CALLS) & set(RELEASING)))
def test_a_call_said_to_release_the_lock_lets_threads_run(zu, zel_sim, name):
    times = another_thread_during(slowed_call(zu, zel_sim, name))
    assert len(times) - 2 > 20 and longest_stop(times) < DELAY / 2


def test_loop_stall_example(tmp_path):
    """The measurement runs; a lock-holding call freezes the loop for at
    least the platform's time, the others never for all of it."""
    delay = 0.3
    source = EXAMPLES["loop-stall"].replace("DELAY = 1.0 ", f"DELAY = {delay} ", 1)
    assert source != EXAMPLES["loop-stall"]
    out = run_example("loop-stall", tmp_path, source=source).stdout
    stalls = dict(re.findall(r"^(.+?)\s+call [\d.]+ s, loop stalled ([\d.]+) s$", out, re.M))
    assert list(stalls) == ["to_thread(system_temperatures)", "to_thread(exec_mtraceroute)",
                            "process pool: system_temperatures"], out
    holding, releasing, worker = (float(v) for v in stalls.values())
    assert holding >= delay - 0.01
    assert releasing < delay and worker < delay


# ---- a worker process ----------------------------------------------------------------


def test_pool_example_reads_the_switch_in_worker_processes(zu, tmp_path):
    out = run_example("pool", tmp_path).stdout
    status = zu.get_8021x_status("gi1/0/1")
    expected = f"{status['port_status']} {len(status['sessions'])} {zu.psu_list()[0]!r}"
    assert out.splitlines() == [expected]


def test_results_and_errors_cross_a_process_pool(zu, zel_sim):
    import concurrent.futures
    import multiprocessing

    with concurrent.futures.ProcessPoolExecutor(
            1, mp_context=multiprocessing.get_context("spawn")) as pool:
        futures = [pool.submit(fn) for fn in (psu_list, port_stats, last_backup, failing_temps)]
        supplies, stats, backup = (f.result(60) for f in futures[:3])
        with pytest.raises(zu.CFunctionError) as failure:
            futures[3].result(60)
    assert supplies == zu.psu_list() and type(supplies[0]) is zu.PSU
    assert type(stats) is zu.SystemPortStats
    assert backup == zu.get_last_backup()
    assert failure.value.args == ("get_temp_list", -1)


# Module-level, so that they pickle by name.
def psu_list():
    return zel_util_module.psu_list()


def port_stats():
    return zel_util_module.system_port_traffic("lo")


def last_backup():
    return zel_util_module.get_last_backup()


def failing_temps():
    import zel_sim
    zel_sim.script("get_temp_list", result=-1)
    return zel_util_module.system_temperatures()


# ---- the sample back-end is built of the guide's helpers -----------------------------

SAMPLE_BACKEND = ROOT / "examples" / "backend"


def test_the_sample_backend_uses_the_guides_helper_as_it_stands():
    assert EXAMPLES["wsgi-trace"] == (SAMPLE_BACKEND / "trace_stream.py").read_text(
        encoding="utf-8")


# ---- a live traceroute ---------------------------------------------------------------


def quick_trace(hops):
    script_trace(*trace_hops(hops, [(1, -1, 1.5)], 0.05, ip="10.2.{i}.1", host="h{i}"),
                 header=records.trace_header(b"dst", b"10.2.9.9", hops, 3, 5, 60))


def test_live_trace_example_yields_each_hop_while_the_trace_runs(zu, zel_sim):
    trace_hops = load_example("live-trace")["trace_hops"]
    quick_trace(hops=4)

    async def collect():
        seen = []
        async for hop in trace_hops("10.2.9.9", poll=0.01):
            seen.append((hop["ttl"], hop["time1"], len(zel_sim.calls("query_trace_route"))))
        return seen

    seen = asyncio.run(collect())
    assert [(ttl, time1) for ttl, time1, _ in seen] == [(1, "1.500"), (2, "1.500"),
                                                        (3, "1.500"), (4, "1.500")]
    # The first hop arrived while later hops were still being asked for.
    assert seen[0][2] < 4
    assert zel_sim.open_trace_contexts() == 0


def test_live_trace_example_reports_failures(zu, zel_sim):
    trace_hops = load_example("live-trace")["trace_hops"]

    async def drain():
        return [hop async for hop in trace_hops("10.2.9.9", poll=0.01)]

    zel_sim.script("init_trace_route", result=0)
    with pytest.raises(RuntimeError, match="could not be started"):
        asyncio.run(drain())
    quick_trace(hops=2)

    def broken(address):
        raise LookupError(address)

    zu.get_routing_table_result = broken
    with pytest.raises(LookupError, match="10.2.9.9"):
        asyncio.run(drain())


def broken_routing_table(address):
    raise LookupError(address)


def test_wsgi_trace_example_streams_each_hop_then_what_the_trace_raised(zu, zel_sim):
    trace_lines = load_example("wsgi-trace")["trace_lines"]
    quick_trace(hops=2)
    lines = [json.loads(line) for line in trace_lines(InProcess().trace("10.2.9.9"), "10.2.9.9")]
    assert [hop.get("ttl") for hop in lines] == [1, 2, None] and lines[-1] == {"result": 1}
    zu.get_routing_table_result = broken_routing_table
    lines = list(trace_lines(InProcess().trace("10.2.9.9"), "10.2.9.9"))
    assert lines == [b'{"error": "LookupError(\'10.2.9.9\')"}\n']
    zel_sim.script("init_trace_route", result=0)
    assert list(trace_lines(InProcess().trace("10.2.9.9"), "10.2.9.9")) == [
        b'{"error": "the traceroute to 10.2.9.9 could not be started"}\n']
    assert zel_sim.open_trace_contexts() == 0


def test_sse_trace_example_sends_an_event_per_hop_then_the_end(zel_sim):
    trace_events = load_example("sse-trace")["trace_events"]
    quick_trace(hops=2)

    async def collect():
        return [event async for event in trace_events(InProcess(), "10.2.9.9")]

    events = asyncio.run(collect())
    kinds = [event.split("\n")[0] for event in events]
    assert kinds == ["event: hop", "event: hop", "event: end"]
    assert all(event.endswith("\n\n") for event in events)
    assert json.loads(events[1].split("data: ", 1)[1])["ttl"] == 2
    assert json.loads(events[2].split("data: ", 1)[1]) == {"result": 1}


# ---- HTTP answers --------------------------------------------------------------------


def raised(function, *args):
    try:
        InProcess().call(function, *args)
    except Exception as error:
        return error
    raise AssertionError(f"{function}{args} raised nothing")


def unreadable(function, fn, record):
    def make():
        import zel_sim
        zel_sim.script(fn, result=0, record=record)
        return raised(function)
    return make


# An error of each kind the HTTP table of the guide names, as calls make them.
TABLE_ERRORS = {
    '`CFunctionError("PyMem_Malloc")`': lambda: zel_util_module.CFunctionError("PyMem_Malloc"),
    "`CFunctionError(<function>, <code>)`": lambda: raised("get_8021x_status", "nowhere"),
    "`IndexError`": unreadable("psu_list", "get_psu_list", records.psu_list([("psu1", 1, 1)])),
    "`UnicodeDecodeError`": unreadable("get_flashs", "get_flash_list", records.flash_list(
        [dict(partition=1, image=b"\xff\xfe", tot_size=1, used_size=1, usage=1, active=0)])),
    "`UnicodeEncodeError`": lambda: raised("get_8021x_status", "\u0100"),
    "`TypeError`": lambda: raised("get_8021x_status", None),
    "`ValueError`": lambda: raised("exec_mtraceroute", "", "232.1.1.1"),
    "`OverflowError`": lambda: raised("exec_mtraceroute", "0", "232.1.1.1", 2 ** 31),
    "`PlatformTimeout`": lambda: pool_errors.PlatformTimeout("late", "psu_list", 1.0),
    "`PlatformBusy`": lambda: pool_errors.PlatformBusy("busy", "psu_list"),
    "`WorkerDied`": lambda: pool_errors.WorkerDied("died", "psu_list"),
    "`WorkerStartError`": lambda: pool_errors.WorkerStartError("no start", "psu_list"),
    "`PoolClosed`": lambda: pool_errors.PoolClosed("closed", "psu_list"),
}


def http_table():
    """[(the exceptions a row names, its status)] of the guide's HTTP table."""
    lines = BACKEND.split("| Exception | Comes from | HTTP answer |\n", 1)[1].split("\n\n")[0]
    rows = [line.split(" | ") for line in lines.splitlines()[1:]]
    # The first column names exceptions, and the functions or the message
    # they come with.
    return [(re.findall(r"`\w*(?:Error|Busy|Timeout|Died|Closed)\b(?:\([^`]*\))?`", row[0]),
             int(row[2][:3])) for row in rows]


def test_the_http_table_is_the_pools_mapping(zel_sim):
    table = http_table()
    named = [name for names, _ in table for name in names]
    assert sorted(named) == sorted(TABLE_ERRORS), \
        "tests/test_docs.py: TABLE_ERRORS makes an error of each kind the HTTP table names"
    for names, status in table:
        for name in names:
            assert http_answer(TABLE_ERRORS[name]())[0] == status, name


def test_the_functions_said_not_to_raise_report_in_their_result(zu, zel_sim):
    zel_sim.clear()
    zel_sim.script("zel_query_update", result=0)
    assert zu.set_hostname("sw") == -1
    zel_sim.script("sms_do_flush", result=-5)
    assert zu.delete_sticky_mac_unsaved() == -5
    zel_sim.script("api_mtraceroute", result=-6)
    assert zu.exec_mtraceroute("0", "232.1.1.1") == -6
    zel_sim.script("init_trace_route", result=0)
    context = {}
    assert zu.get_diagnostic_data(context, "10.0.0.1") is None and context == {"result": -1}
    zel_sim.script("backupts_GetTimeStamp", result=0)
    assert zu.get_last_backup() is None


# ---- the last backup -----------------------------------------------------------------

# POSIX zone rules (no time zone database needed); New York's daylight
# saving time ends on 2024-11-03 at 02:00 local time, so 01:30 comes twice.
ZONES = ["UTC0", "EST5EDT,M3.2.0,M11.1.0", "CET-1CEST,M3.5.0,M10.5.0/3", "NPT-5:45"]
INSTANTS = [1731897000, 1730611800, 1730615400, 0]  # 2024-11-18 02:30Z, 05:30Z, 06:30Z


def test_backup_example_gives_the_platform_instant_in_every_zone(python):
    code = f"""
        import datetime, os, time
        import zel_sim
        from zel_sim import records
        import zel.zel_util as zu
        source = {EXAMPLES["backup"]!r}
        for zone in {ZONES!r}:
            os.environ["TZ"] = zone
            time.tzset()
            for seconds in {INSTANTS!r}:
                zel_sim.script("backupts_GetTimeStamp", result=1,
                               record=records.timestamp(seconds))
                example = {{}}
                exec(source, example)
                backup = example["backup"]
                assert backup.tzinfo is None and backup.microsecond == 0
                assert backup == datetime.datetime.fromtimestamp(seconds)
                assert example["backup_utc"] == datetime.datetime.fromtimestamp(
                    seconds, datetime.timezone.utc)
                assert example["backup_local"].utcoffset() is not None
                assert example["seconds"] == seconds
                print(zone, seconds, backup.isoformat(), backup.fold)
    """
    lines = python(code).stdout.splitlines()
    assert len(lines) == len(ZONES) * len(INSTANTS)
    # The repeated hour: the same wall time, told apart by fold.
    assert "EST5EDT,M3.2.0,M11.1.0 1730611800 2024-11-03T01:30:00 0" in lines
    assert "EST5EDT,M3.2.0,M11.1.0 1730615400 2024-11-03T01:30:00 1" in lines


# ---- strict warnings -----------------------------------------------------------------

PYRAMID_APP_TEST = """
import webtest
import zel.zel_util as zu
from pyramid.config import Configurator


def hello(request):
    return {"buffer": zu.get_cmdb_max_buff()}


def test_the_application_answers():
    with Configurator() as config:
        config.add_route("hello", "/")
        config.add_view(hello, route_name="hello", renderer="json")
        app = webtest.TestApp(config.make_wsgi_app())
    assert app.get("/").json == {"buffer": 4095}
"""

INI_IGNORES = [line.strip() for line in EXAMPLES["pytest-ini"].splitlines()
               if line.strip().startswith("ignore:")]
STRICT_WARNINGS = {  # what each ignore line lets through, as the failure shows it
    "'cgi' is deprecated": "DeprecationWarning: 'cgi' is deprecated",
    "pkg_resources is deprecated": "pkg_resources is deprecated as an API",
    "Deprecated call to `pkg_resources.declare_namespace":
        "Deprecated call to `pkg_resources.declare_namespace('paste')`",
    "`pyramid.compat` is deprecated": DEPRECATION,
}
PYTEST_CMD = [sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider"]


def test_the_ini_lines_are_the_sample_backends():
    config = (SAMPLE_BACKEND / "pyproject.toml").read_text()
    listed = re.search(r"^filterwarnings = \[\n(.*?)^\]", config, re.M | re.S).group(1)
    assert [line.strip().rstrip(",").strip('"') for line in listed.splitlines()] == \
        ["error", *INI_IGNORES]


def test_pytest_ini_lines_let_a_strict_pyramid_suite_run(tmp_path):
    (tmp_path / "test_app.py").write_text(PYRAMID_APP_TEST)
    (tmp_path / "pytest.ini").write_text(EXAMPLES["pytest-ini"])
    assert "1 passed" in run(PYTEST_CMD, tmp_path).stdout


@pytest.mark.parametrize("message", STRICT_WARNINGS)
def test_each_ini_line_is_needed(tmp_path, message):
    if message == "'cgi' is deprecated" and not warns_of_cgi():
        pytest.skip("this interpreter has no cgi module to warn of (interpreter_versions.py)")
    (tmp_path / "test_app.py").write_text(PYRAMID_APP_TEST)
    (tmp_path / "pytest.ini").write_text(
        "\n".join(line for line in EXAMPLES["pytest-ini"].splitlines()
                  if f"ignore:{message}" not in line) + "\n")
    failed = run(PYTEST_CMD, tmp_path, check=False)
    assert failed.returncode != 0 and STRICT_WARNINGS[message] in failed.stdout


APP_IMPORTS = ["-c", "import zel.zel_util as zu, pyramid.config, webtest; "
                     "print(zu.get_cmdb_max_buff())"]


def test_command_line_filter(tmp_path):
    words = shlex.split(EXAMPLES["command-line"].replace("\\\n", " "))
    assert words[0] == "python" and words[-2:] == ["-m", "your_backend"]
    options = words[1:-2]
    assert options[:2] == ["-W", "error"] and options[3::2] == INI_IGNORES
    assert run([sys.executable, *options, *APP_IMPORTS], tmp_path).stdout == "4095\n"
    # A filter on the warning's module does not catch it.
    by_module = ["-W", "error", "-W", "ignore::DeprecationWarning:pyramid.compat"]
    failed = run([sys.executable, *by_module, *APP_IMPORTS], tmp_path, check=False)
    assert failed.returncode != 0 and DEPRECATION in failed.stderr


def test_filter_in_code(tmp_path):
    run_example("in-code", tmp_path)
    source = EXAMPLES["in-code"]
    assert source.count("warnings.filterwarnings(") == len(STRICT_WARNINGS)
    script = tmp_path / "unfiltered.py"
    script.write_text(source.replace("warnings.filterwarnings(", "print("))
    failed = run([sys.executable, "-W", "error", str(script)], tmp_path, check=False)
    assert failed.returncode != 0 and DEPRECATION in failed.stderr


# ---- installing.md and the README ----------------------------------------------------

ALONE_CLAIM = (r"ImportError: \.\.\./(?:site-packages/)?zel/zel_util\.cpython-312-[\w-]+\.so: "
               r"undefined symbol: (\w+)")


def test_the_module_alone_fails_on_the_symbol_the_docs_name(tmp_path):
    """Without the simulator's library in the process (no site hook: the
    .pth that loads it is not read), the import fails naming the symbol
    installing.md and reference.md say it does."""
    site_packages = pathlib.Path(zel_util_module.__file__).parent.parent
    code = (f"import sys; sys.path.insert(0, {str(site_packages)!r}); "
            "import zel.zel_util")
    proc = run([sys.executable, "-I", "-S", "-c", code], tmp_path, check=False)
    assert proc.returncode != 0
    actual = re.search(r"^ImportError: .*zel_util\.cpython-3\d+-[\w-]+\.so: undefined symbol: "
                       r"(\w+)$", proc.stderr, re.M)
    assert actual, proc.stderr
    for doc in ("installing.md", "reference.md"):
        claimed = re.findall(ALONE_CLAIM, (DOCS / doc).read_text(encoding="utf-8"))
        assert claimed == [actual.group(1)], doc
    assert actual.group(1) == "nCfg"


def test_readme_links_every_guide():
    readme = (ROOT / "README.md").read_text(encoding="utf-8")
    table = readme.split("## Documentation", 1)[1].split("\n## ", 1)[0]
    linked = set(re.findall(r"\]\(docs/([\w-]+\.md)\)", table))
    assert linked == {p.name for p in DOCS.glob("*.md")}

