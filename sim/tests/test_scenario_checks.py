"""Scenario files are checked strictly: every problem names the file and
where it is; extends merges; the command line and the schema."""

import ctypes
import json
import os
import pathlib
import pickle
import re
import subprocess
import sys

import pytest

import zel_sim
from zel_sim import records, scenario
from zel_sim.__main__ import schema_text

ROOT = pathlib.Path(__file__).resolve().parents[2]
LONG = "x" * 200


def write(tmp_path, text, name="s.toml"):
    path = tmp_path / name
    path.write_text(text)
    return path


def problem(tmp_path, text):
    path = write(tmp_path, text)
    with pytest.raises(zel_sim.ScenarioError) as excinfo:
        zel_sim.load_scenario(path)
    message = str(excinfo.value)
    assert message.startswith(f"scenario {path}: ")
    return message[len(f"scenario {path}: "):]


@pytest.mark.parametrize("text, expected", [
    ('[[dot1x]]\ninterface = "gi1"\nmode = "2"\n',
     "Expected `int`, got `str` - at `$.dot1x[0].mode`"),
    ('[system]\nhostnme = "x"\n', "Object contains unknown field `hostnme` - at `$.system`"),
    ('okay = 1\n', "Object contains unknown field `okay` - at `$`"),
    ('[[hardware.psu]]\nname = "P"\nokay = 1\n',
     "Object contains unknown field `okay` - at `$.hardware.psu[0]`"),
    ('[[dot1x]]\nmode = 1\n', "Object missing required field `interface` - at `$.dot1x[0]`"),
    ('[[dot1x]]\ninterface = "a"\n[[dot1x]]\ninterface = "a"\n',
     "dot1x[1]: interface 'a' is given twice - at `$`"),
    ('[[dot1x]]\ninterface = "a"\n[[dot1x.sessions]]\nnative_vlan_id = 70000\n',
     "Expected `int` <= 65535 - at `$.dot1x[0].sessions[0].native_vlan_id`"),
    ('[hardware]\ntemperatures = [1, 2, 3, 4, 5, 6, 7, 8, 9]\n',
     "Expected `array` of length <= 8 - at `$.hardware.temperatures`"),
    ('[fail]\nget_tmp_list = -1\n', "Invalid enum value 'get_tmp_list' - at `key` in `$.fail`"),
    ('[system]\nbackup_time = 2024-11-18\n',
     "Expected `bool | int | datetime`, got `date` - at `$.system.backup_time` (a date alone"),
    ('[system]\nbackup_time = 2024-11-18T02:30:00\n',
     "Expected `datetime` with a timezone component - at `$.system.backup_time`"),
    ('[system]\nbackup_time = true\n', "`backup_time` = true names no time"),
    ('[system]\nbackup_time = 4294967296\n', "Expected `int` <= 2147483647"),
    ('[[port]]\nname = "../etc"\n', "`name` '../etc' is not a port name"),
    ('[[port]]\nname = "p"\nrx_bytes = -1\n', "Expected `int` >= 0 - at `$.port[0].rx_bytes`"),
    ('[[port]]\nname = "p"\nrx_bytes = 18446744073709551616\n',
     "`rx_bytes` does not fit the 64-bit counter - at `$.port[0]`"),
    ('x = = 1\n', "Invalid value (at line 1, column 5)"),
    ('\ufeff[system]\nhostname = "a"\n', "it starts with a UTF-8 byte-order mark (BOM)"),
])
def test_problems_name_the_location(tmp_path, text, expected):
    assert expected in problem(tmp_path, text)


def room_cases():
    """Every text field, one byte too long for its room."""
    for key, room in records.DOT1X_TEXT_ROOMS.items():
        yield f'[[dot1x]]\ninterface = "i"\n{key} = "{"x" * room}"\n', key, room, "$.dot1x[0]"
    for key, room in records.SESSION_TEXT_ROOMS.items():
        yield (f'[[dot1x]]\ninterface = "i"\n[[dot1x.sessions]]\n{key} = "{"x" * room}"\n', key,
               room, "$.dot1x[0].sessions[0]")
    # The record's name defaults to the interface, and is checked as such.
    yield f'[[dot1x]]\ninterface = "{"x" * 64}"\n', "name", 64, "$.dot1x[0]"
    yield f'[system]\nhostname = "{"x" * 36}"\n', "hostname", records.HOSTNAME_ROOM, "$.system"
    yield (f'[[hardware.psu]]\nname = "{"x" * 112}"\n', "name", records.PSU_NAME_ROOM,
           "$.hardware.psu[0]")
    yield (f'[[hardware.flash]]\nimage = "{"\u00e9" * 32}"\n', "image", records.FLASH_IMAGE_ROOM,
           "$.hardware.flash[0]")
    for key, room in records.TRACE_HEADER_ROOMS.items():
        yield f'[traceroute]\nresult = 0\n{key} = "{"x" * room}"\n', key, room, "$.traceroute"
    for key, room in records.TRACE_RESPONSE_ROOMS.items():
        yield (f'[[traceroute.hop]]\n{key} = "{"x" * room}"\n', key, room,
               "$.traceroute.hop[0]")
    yield (f'[[traceroute.hop]]\n[[traceroute.destination]]\ntarget = "{"x" * 64}"\n', "target",
           records.TRACE_HOST_ROOM, "$.traceroute.destination[0]")


@pytest.mark.parametrize("text, key, room, where", list(room_cases()))
def test_every_text_too_long_for_its_field_is_refused_alike(tmp_path, text, key, room, where):
    message = problem(tmp_path, text)
    assert f"`{key}` is {room} bytes long, but its platform field holds {room} bytes with the " \
           f"terminator: at most {room - 1} - at `{where}`" in message
    fits = text.replace("x" * room, "x" * (room - 1)).replace("\u00e9" * 32, "\u00e9" * 31 + "x")
    zel_sim.load_scenario(write(tmp_path, fits, "fits.toml"))


def test_texts_outside_latin_1_are_refused(tmp_path):
    assert "`port_status` = '\u20ac' cannot be written in latin-1 - at `$.dot1x[0]`" in problem(
        tmp_path, '[[dot1x]]\ninterface = "i"\nport_status = "\u20ac"\n')


def test_missing_file_and_sources_without_a_file(tmp_path):
    missing = tmp_path / "nowhere.toml"
    with pytest.raises(zel_sim.ScenarioError, match=f"scenario {missing}: No such file"):
        zel_sim.load_scenario(missing)
    with pytest.raises(zel_sim.ScenarioError,
                       match=r"scenario given as text: Expected `int`, got `str` - at "
                             r"`\$\.mtraceroute\.result`"):
        zel_sim.load_scenario('[mtraceroute]\nresult = "0"\n')
    with pytest.raises(zel_sim.ScenarioError, match=r"scenario given as a dict: .* `\$.system`"):
        zel_sim.load_scenario({"system": {"hostnme": "x"}})


def test_a_refused_scenario_leaves_the_platform_as_it_was(tmp_path):
    zel_sim.reset()
    with pytest.raises(zel_sim.ScenarioError):
        zel_sim.load_scenario('[system]\nhostname = 5\n')
    assert zel_sim.hostname() == b"zel-switch"


def test_a_refused_scenario_leaves_scripts_counters_records_and_log_as_they_were():
    import zel.zel_util as zu

    zel_sim.load_scenario('[system]\nhostname = "before"\n[[port]]\nname = "gi1"\n'
                          'tx_packets = 4\n')
    zel_sim.script("get_temp_list", 1, 2, 3)
    lib = ctypes.CDLL(zel_sim.LIBRARY)
    assert lib.get_temp_list(None) == 1

    def state():
        return (zel_sim.calls(), zel_sim.hostname(),
                sorted(p.relative_to(zel_sim.port_directory()).as_posix()
                       for p in zel_sim.port_directory().rglob("*")))

    before = state()
    with pytest.raises(zel_sim.ScenarioError):  # once refused as its files were written
        zel_sim.load_scenario('[[port]]\nname = "a"\n[[port]]\n'
                              'name = "a/statistics/tx_packets"\n')
    assert state() == before
    assert lib.get_temp_list(None) == 2  # the script, at the step it had reached
    assert zu.system_port_traffic("gi1").tx_packets == 4
    assert zel_sim.hostname() == b"before"


def test_counter_files_that_cannot_be_written_leave_the_previous_ones(monkeypatch):
    from zel_sim import _ports

    zel_sim.load_scenario('[[port]]\nname = "gi1"\ntx_packets = 4\n')
    zel_sim.script("get_temp_list", 7)
    real = _ports._write

    def full_disk(path, text):
        if path.parent.parent.name == "gi2":
            raise OSError(28, "No space left on device")
        real(path, text)

    monkeypatch.setattr(_ports, "_write", full_disk)
    with pytest.raises(OSError, match="No space left"):
        zel_sim.load_scenario('[[port]]\nname = "gi1"\ntx_packets = 9\n[[port]]\nname = "gi2"\n')
    monkeypatch.undo()
    import zel.zel_util as zu

    assert zu.system_port_traffic("gi1").tx_packets == 4
    assert sorted(p.name for p in zel_sim.port_directory().iterdir()) == ["gi1"]
    assert ctypes.CDLL(zel_sim.LIBRARY).get_temp_list(None) == 7


# ---- what check accepts, loading accepts ---------------------------------------------


@pytest.mark.parametrize("text, expected", [
    ('[[port]]\nname = "a"\n[[port]]\nname = "a/statistics/tx_packets"\n',
     "port 'a/statistics/tx_packets' would be a directory where port 'a' has its counter file "
     "statistics/tx_packets - at `$`"),
    (f'[[port]]\nname = "{"p" * 300}"\n',
     "`name` has a part of 300 bytes: a file name, and so each part between '/', has at most "
     "255 - at `$.port[0]`"),
    (f'[[port]]\nname = "{"/".join(["p" * 200] * 6)}"\n',
     "`name` is 1205 bytes long: a port name has at most 1024 - at `$.port[0]`"),
    ('[[dot1x]]\ninterface = "gi\u20ac1"\n',
     "`interface` = 'gi\u20ac1' cannot be written in latin-1 (the module passes it as its "
     "Latin-1 bytes) - at `$.dot1x[0]`"),
    ('[[port]]\nname = "gi\u20ac1"\n',
     "`name` = 'gi\u20ac1' cannot be written in latin-1 (the module passes a port name as its "
     "Latin-1 bytes) - at `$.port[0]`"),
])
def test_check_refuses_what_loading_could_not_apply(tmp_path, text, expected):
    path = write(tmp_path, text)
    proc = cli("check", path)
    assert (proc.returncode, proc.stderr) == (1, f"scenario {path}: {expected}\n")
    with pytest.raises(zel_sim.ScenarioError) as excinfo:
        zel_sim.load_scenario(path)
    assert str(excinfo.value) == f"scenario {path}: {expected}"


def test_what_check_accepts_loading_applies(tmp_path):
    import zel.zel_util as zu

    names = ["a", "a/statistics", "a/statistics/other", "\u00e9t\u00e9 1", "p" * 255,
             "/".join(["q" * 255] * 4)]
    text = "".join(f'[[port]]\nname = "{name}"\ntx_packets = {i}\n'
                   for i, name in enumerate(names))
    text += '[[dot1x]]\ninterface = "\u00e9t\u00e9"\nmode = 3\n'
    path = write(tmp_path, text)
    assert cli("check", path).stdout == f"{path}: ok\n"
    zel_sim.load_scenario(path)
    assert [zu.system_port_traffic(name).tx_packets for name in names] == list(range(6))
    assert zu.get_8021x_status("\u00e9t\u00e9")["mode"] == 3


# ---- files that are not scenarios ------------------------------------------------------


def refused(tmp_path, name, target):
    """The check's and the import's message for a scenario file name that
    leads to target (directly, or as what a file extends), in processes that
    would hang or run out of memory reading it."""
    import resource

    if name == "direct":
        path = target
    else:
        path = write(tmp_path, f'extends = "{target}"\n', "child.toml")
    env = {k: v for k, v in os.environ.items() if k not in ("ZEL_SIM_PRELOAD",
                                                           "ZEL_SIM_SCENARIO")}

    def limited():  # not with the sanitizers, whose shadow memory is address space
        if "asan" not in env.get("LD_PRELOAD", ""):
            resource.setrlimit(resource.RLIMIT_AS, (2**31, 2**31))

    outcomes = []
    for args, more in ((["-m", "zel_sim", "check", str(path)], {}),
                       (["-c", "import zel.zel_util"], {"ZEL_SIM_SCENARIO": str(path)})):
        proc = subprocess.run([sys.executable, *args], capture_output=True, text=True,
                              timeout=30, env=dict(env, **more), preexec_fn=limited)
        outcomes.append(proc.stderr.strip().splitlines()[-1])
    return outcomes


@pytest.mark.parametrize("name", ["direct", "extends"])
@pytest.mark.parametrize("kind", ["fifo", "zero", "directory", "huge"])
def test_only_regular_files_of_at_most_16_mib_are_read(tmp_path, name, kind):
    if kind == "fifo":
        target = tmp_path / "pipe.toml"
        os.mkfifo(target)  # no writer: opening it to read would wait forever
        problem_ = "it is a FIFO: a scenario is a file"
    elif kind == "zero":
        target = pathlib.Path("/dev/zero")
        problem_ = "it is a character device: a scenario is a file"
    elif kind == "directory":
        target = tmp_path / "dir.toml"
        target.mkdir()
        problem_ = "it is a directory: a scenario is a file"
    else:
        target = tmp_path / "huge.toml"
        with open(target, "wb") as file:
            file.truncate(16 * 2**20 + 1)
        problem_ = "it is more than 16777216 bytes long (16 MiB), too big for a scenario"
    check, imported = refused(tmp_path, name, target)
    assert check == f"scenario {target}: {problem_}"
    assert imported == f"zel_sim.ScenarioError: scenario {target}: {problem_}"


def test_loops_deep_nesting_and_long_chains_name_their_file(tmp_path):
    loop = tmp_path / "loop.toml"
    loop.symlink_to(tmp_path / "loop.toml")
    child = write(tmp_path, 'extends = "loop.toml"\n', "child.toml")
    with pytest.raises(zel_sim.ScenarioError, match=rf"^scenario {child}: `extends` = "
                                                    r"'loop.toml' cannot be followed: "):
        scenario.load(child)
    deep = write(tmp_path, "[system]\nhostname = " + "[" * 5000 + "]" * 5000 + "\n", "deep.toml")
    with pytest.raises(zel_sim.ScenarioError) as excinfo:
        scenario.load(deep)
    assert str(excinfo.value) == (f"scenario {deep}: nested too deeply to be read (a "
                                  "scenario's values nest a few levels)")
    for index in range(3000):
        write(tmp_path, f'extends = "{index + 1}.toml"\n' if index < 2999 else "",
              f"{index}.toml")
    with pytest.raises(zel_sim.ScenarioError) as excinfo:
        scenario.load(tmp_path / "0.toml")
    assert str(excinfo.value) == (f"scenario {tmp_path / '63.toml'}: `extends` = '64.toml' "
                                  "makes a chain of more than 64 files")
    write(tmp_path, "", "62.toml")  # a chain of 63 files
    assert scenario.load(tmp_path / "0.toml") == scenario.load("")


# ---- extends ---------------------------------------------------------------------


def test_extends_merges_tables_key_by_key_and_keyed_entries_by_their_key(tmp_path):
    (tmp_path / "base").mkdir()
    write(tmp_path / "base", '''
extends = "default"
[system]
hostname = "base-sw"
[[port]]
name = "gi1/0/1"
rx_bytes = 5
''', "base.toml")
    child = write(tmp_path, '''
extends = "base/base.toml"
[system]
diag_debug = 1
[[dot1x]]
interface = "gi1/0/2"
port_status = "Unauthorized:Both"
[[dot1x]]
interface = "gi9"
[[port]]
name = "gi1/0/1"
tx_bytes = 7
[hardware]
temperatures = [30.0]
[fail]
sms_do_flush = -3
''')
    whole = scenario.load(child)
    default = scenario.default_scenario()
    assert (whole.system.hostname, whole.system.diag_debug) == ("base-sw", 1)
    assert whole.system.backup_time == default.system.backup_time
    # Keyed entries merge with the parent's entry of the same key; new ones come last.
    assert [d.interface for d in whole.dot1x] == ["gi1/0/1", "gi1/0/2", "gi1/0/3", "gi1/0/4",
                                                  "gi9"]
    merged = whole.dot1x[1]
    assert merged.port_status == "Unauthorized:Both"
    assert merged.sessions == default.dot1x[1].sessions and merged.mab == 1
    assert [(p.name, p.tx_bytes, p.rx_bytes) for p in whole.port][0] == ("gi1/0/1", 7, 5)
    # Other arrays replace the parent's whole; the rest of the table stays.
    assert whole.hardware.temperatures == [30.0]
    assert whole.hardware.psu == default.hardware.psu
    assert whole.fail == {"sms_do_flush": -3}
    assert whole.extends is None


def test_extends_problems_name_the_file_they_are_in(tmp_path):
    write(tmp_path, '[system]\ndiag_debug = "on"\n', "parent.toml")
    child = write(tmp_path, 'extends = "parent.toml"\n')
    with pytest.raises(zel_sim.ScenarioError) as excinfo:
        scenario.load(child)
    assert str(excinfo.value) == (f"scenario {tmp_path / 'parent.toml'}: Expected `int`, got "
                                  "`str` - at `$.system.diag_debug`")
    loop = write(tmp_path, 'extends = "s.toml"\n')
    with pytest.raises(zel_sim.ScenarioError, match="a scenario cannot extend itself"):
        scenario.load(loop)
    with pytest.raises(zel_sim.ScenarioError, match=f"{tmp_path / 'none.toml'}: No such file"):
        scenario.load(write(tmp_path, 'extends = "none.toml"\n', "c.toml"))


def test_a_child_may_complete_what_its_parent_leaves_open(tmp_path):
    write(tmp_path, '[traceroute]\nresult = 0\n', "parent.toml")
    child = write(tmp_path, 'extends = "parent.toml"\n[traceroute]\nresult = 1\n')
    assert "(in the scenario with what it extends merged in)" in str(
        pytest.raises(zel_sim.ScenarioError, scenario.load, child).value)
    child.write_text('extends = "parent.toml"\n[traceroute]\nresult = 1\n[[traceroute.hop]]\n')
    assert scenario.load(child).traceroute.hop[0].result == 1


# ---- sections that were loosely read before -----------------------------------------


def test_defaults_of_an_empty_scenario():
    whole = scenario.load("")
    assert whole.system == scenario.System()
    assert (whole.dot1x, whole.port, whole.fail) == ([], [], {})
    assert whole.traceroute.result == 0 and whole.traceroute.hop == []


def test_backup_times(plat):
    stamp = ctypes.c_long()
    for value, seconds in [("2024-11-18T02:30:00Z", 1731897000),
                           ("2024-11-18T03:30:00+01:00", 1731897000), ("1700000000", 1700000000)]:
        zel_sim.load_scenario(f"[system]\nbackup_time = {value}\n")
        assert plat.backupts_GetTimeStamp(b"k", ctypes.byref(stamp)) == 1
        assert stamp.value == seconds


# ---- the command line and the schema ---------------------------------------------------


def cli(*args, env=None):
    return subprocess.run([sys.executable, "-m", "zel_sim", *map(str, args)],
                          capture_output=True, text=True, timeout=60, env=env)


def test_check_command(tmp_path):
    good = write(tmp_path, '[system]\nhostname = "a"\n', "good.toml")
    bad = write(tmp_path, '[system]\nhostname = 1\n', "bad.toml")
    proc = cli("check", good, bad)
    assert proc.returncode == 1
    assert proc.stdout == f"{good}: ok\n"
    assert proc.stderr == (f"scenario {bad}: Expected `str`, got `int` - at "
                           "`$.system.hostname`\n")
    assert cli("check", good).returncode == 0


def test_check_reports_every_problem_of_a_file_each_located(tmp_path):
    bad = write(tmp_path, """sytem = 1
[system]
hostnme = "x"
backup_time = true
[[dot1x]]
interface = "gi1"
mode = "2"
[[dot1x.sessions]]
mac = 5
[[dot1x]]
mode = 1
[[port]]
name = "../x"
[fail]
get_tmp_list = -1
sms_do_flush = "x"
""")
    problems = [
        "Object contains unknown field `sytem` - at `$` (did you mean `system`?)",
        "Object contains unknown field `hostnme` - at `$.system` (did you mean `hostname`?)",
        "`backup_time` = true names no time: give a date-time with its offset, epoch seconds, "
        "or false for no backup - at `$.system.backup_time`",
        "Expected `int`, got `str` - at `$.dot1x[0].mode`",
        "Expected `str`, got `int` - at `$.dot1x[0].sessions[0].mac`",
        "Object missing required field `interface` - at `$.dot1x[1]`",
        "`name` '../x' is not a port name (no empty, '.' or '..' parts, no leading '/', no "
        "NUL) - at `$.port[0]`",
        "Invalid enum value 'get_tmp_list' - at `key` in `$.fail` (did you mean "
        "`get_temp_list`?)",
        "Expected `int`, got `str` - at `$.fail.sms_do_flush`",
    ]
    message = f"scenario {bad}: 9 problems:\n" + "".join(f"  {p}\n" for p in problems)
    proc = cli("check", bad)
    assert (proc.returncode, proc.stdout, proc.stderr) == (1, "", message)
    # Loading raises one error holding them all, naming the file.
    with pytest.raises(zel_sim.ScenarioError) as excinfo:
        zel_sim.load_scenario(bad)
    assert str(excinfo.value) + "\n" == message
    assert (excinfo.value.source, excinfo.value.problems) == (str(bad), problems)
    again = pickle.loads(pickle.dumps(excinfo.value))
    assert (str(again), again.problems) == (str(excinfo.value), problems)


def test_unknown_keys_suggest_the_nearest_known_one():
    with pytest.raises(zel_sim.ScenarioError) as excinfo:
        zel_sim.load_scenario({"system": {"hostnme": "x"}, "hardware": {"temps": [1.0]},
                               "zzz": 1})
    assert str(excinfo.value) == (
        "scenario given as a dict: 3 problems:\n"
        "  Object contains unknown field `zzz` - at `$`\n"
        "  Object contains unknown field `hostnme` - at `$.system` (did you mean `hostname`?)\n"
        "  Object contains unknown field `temps` - at `$.hardware` (did you mean "
        "`temperatures`?)")


def test_dump_fills_in_every_default_and_reads_back_the_same(tmp_path):
    source = write(tmp_path, 'extends = "default"\n[system]\nhostname = "lab"\n')
    proc = cli("dump", source)
    assert proc.returncode == 0, proc.stderr
    dumped = write(tmp_path, proc.stdout, "dumped.toml")
    assert scenario.load(dumped) == scenario.load(source)
    assert "extends" not in proc.stdout and 'name = "gi1/0/1"' in proc.stdout
    assert "unknown_port_result = -1" in proc.stdout and "probe_count = 3" in proc.stdout
    # Without a file: the scenario the process would start with.
    env = dict(os.environ, ZEL_SIM_SCENARIO=str(source))
    assert cli("dump", env=env).stdout == proc.stdout


def test_the_command_works_while_the_start_scenario_is_broken(tmp_path):
    broken = write(tmp_path, "[system]\nhostname = 1\n")
    env = dict(os.environ, ZEL_SIM_SCENARIO=str(broken))
    proc = cli("check", broken, env=env)
    assert proc.returncode == 1 and f"scenario {broken}: Expected `str`" in proc.stderr
    assert "Traceback" not in proc.stderr


def test_schema_command_and_the_installed_copy():
    proc = cli("schema")
    assert proc.returncode == 0
    installed = pathlib.Path(zel_sim.__file__).with_name("scenario.schema.json")
    copy = installed.read_text() if installed.exists() else None
    assert proc.stdout == schema_text() == copy, \
        f"{installed} is not the schema of these sources: rebuild the simulator (make build)"
    schema = json.loads(proc.stdout)
    definition = schema["$defs"]["Scenario"]
    assert definition["additionalProperties"] is False
    assert set(definition["properties"]) == {"extends", "system", "dot1x", "port", "hardware",
                                             "mtraceroute", "traceroute", "fail", "slow"}


def scenario_texts():
    """Every scenario file of the project, and every TOML example of its docs."""
    for pattern in ("sim/zel_sim/*.toml", "docs/**/*.toml", "tests/**/*.toml",
                    "examples/**/*.toml"):
        for path in sorted(ROOT.glob(pattern)):
            if path.name != "pyproject.toml":  # a project's configuration
                yield str(path.relative_to(ROOT)), path.read_text()
    demo_test = (ROOT / "tests" / "test_demo_options.py").read_text()
    yield "tests/test_demo_options.py SCENARIO", re.search(r'SCENARIO = """(.*?)"""', demo_test,
                                                          re.S).group(1)
    for doc in ("docs/scenarios.md", "sim/README.md"):
        text = (ROOT / doc).read_text()
        for index, block in enumerate(re.findall(r"```toml\n(.*?)```", text, re.S)):
            yield f"{doc} example {index + 1}", block


@pytest.mark.parametrize("name, text", list(scenario_texts()))
def test_every_scenario_of_the_project_passes_check(tmp_path, name, text):
    path = write(tmp_path, text)
    for sibling in (ROOT / "docs").glob("*.toml"):
        write(tmp_path, sibling.read_text(), sibling.name)
    proc = cli("check", path)
    assert proc.returncode == 0, f"{name}: {proc.stderr}"
