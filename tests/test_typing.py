"""The module's type information against the module itself: the signatures
the function objects report, the result shapes the stub declares, and the
stub checker comparing the operations' signatures."""

import inspect
import os
import pathlib
import subprocess
import sys
import types
import typing

import pytest
from zel_sim.testing import PrivateTmp

# What inspect.signature() reports for each operation: every parameter
# positional-or-keyword, the defaults fixed at initialisation, "int" on the
# parameters that must be exactly int.
from operations import SIGNATURES

ROOT = pathlib.Path(__file__).resolve().parent.parent
STUB = ROOT / "stubs" / "zel-stubs" / "zel_util.pyi"

def operation(zu, name):
    return getattr(zu, name)


@pytest.mark.parametrize("name", SIGNATURES)
def test_signature_matches_the_binder(zu, name):
    fn = operation(zu, name)
    signature = inspect.signature(fn)
    assert str(signature) == SIGNATURES[name], (
        f"{name}{signature}: the heading of its section in docs/reference.md and the "
        f"\"# exactly int\" marks in stubs/zel-stubs/zel_util.pyi say {name}{SIGNATURES[name]}")
    params = list(signature.parameters.values())
    assert {p.kind for p in params} <= {inspect.Parameter.POSITIONAL_OR_KEYWORD}
    defaults = tuple(p.default for p in params if p.default is not p.empty)
    assert defaults == (fn.__defaults__ or ())
    assert {p.name: p.annotation for p in params if p.annotation is not p.empty} == \
        fn.__annotations__
    assert fn.__signature__ is not fn.__signature__  # built afresh, nothing cached


# ---- the stub, run as Python -------------------------------------------------------


@pytest.fixture(scope="module")
def stub():
    """The stub's namespace: a stub is valid Python, so its TypedDicts and
    named tuples can be compared with what the module returns."""
    namespace = {"__name__": "zel_util_stub"}
    # Only type checkers know typing.type_check_only; at run time it may as
    # well leave the class alone.
    with pytest.MonkeyPatch.context() as patch:
        patch.setattr(typing, "type_check_only", lambda cls: cls, raising=False)
        exec(compile(STUB.read_text(encoding="utf-8"), str(STUB), "exec"), namespace)
    return types.SimpleNamespace(**namespace)


def conforms(value, hint):
    """Whether value fits the type hint, deeply for lists and TypedDicts."""
    origin, args = typing.get_origin(hint), typing.get_args(hint)
    if hint is typing.Any:
        return True
    if hint is None or hint is type(None):
        return value is None
    if origin in (types.UnionType, typing.Union):
        return any(conforms(value, arg) for arg in args)
    if origin is list:
        return isinstance(value, list) and all(conforms(v, args[0]) for v in value)
    if typing.is_typeddict(hint):
        return isinstance(value, dict) and all(
            conforms(value[k], h) for k, h in typing.get_type_hints(hint).items() if k in value)
    return isinstance(value, hint) and not (hint is int and isinstance(value, bool))


def assert_shape(value, typeddict):
    """value has the TypedDict's keys in the stub's order (optional keys
    only as a prefix of the remaining ones) and values of the declared types."""
    keys = list(typing.get_type_hints(typeddict))
    required = [k for k in keys if k in typeddict.__required_keys__]
    got = list(value)
    assert got[:len(required)] == required
    assert got == keys[:len(got)]
    assert conforms(value, typeddict), value


def assert_fields(values, runtime_type, stub_type):
    """Named tuples of the runtime type with the stub's fields and types."""
    hints = typing.get_type_hints(stub_type)
    assert runtime_type._fields == tuple(hints)
    assert values
    for value in values:
        assert type(value) is runtime_type
        assert all(type(getattr(value, f)) is hint for f, hint in hints.items()), value


def test_dot1x_results_have_the_stub_shapes(zu, stub):
    status = operation(zu, "get_8021x_status")("gi1/0/2")
    assert_shape(status, stub.Dot1xPortStatus)
    assert len(status["sessions"]) == 3
    for session in status["sessions"]:
        assert_shape(session, stub.Dot1xPortSession)
    sessions = operation(zu, "get_8021x_sessions")(b"gi1/0/2")
    assert len(sessions) == 3
    for session in sessions:
        assert_shape(session, stub.Dot1xSession)


def test_hardware_results_have_the_stub_shapes(zu, stub):
    flashes = operation(zu, "get_flashs")()
    assert len(flashes) == 3
    for flash in flashes:
        assert_shape(flash, stub.FlashPartition)
    assert_fields(zu.psu_list(), zu.PSU, stub.PSU)
    assert all(type(t) is float for t in zu.system_temperatures())


def test_port_counters_have_the_stub_fields(zu, stub):
    stats = operation(zu, "system_port_traffic")("lo")
    assert_fields([stats], zu.SystemPortStats, stub.SystemPortStats)


def test_traceroute_context_has_the_stub_shapes(zu, stub, zel_sim):
    zel_sim.script("query_trace_route",
               zel_sim.Step(0, zel_sim.records.trace_response(1, "10.0.0.1", "gw", [])),
               zel_sim.Step(0, zel_sim.records.trace_response(2, "10.0.0.2", "", [(1, -1, 1.5)])),
               zel_sim.Step(1, zel_sim.records.trace_response(
                   3, "10.0.0.3", "dst", [(1, 5, 2.0), (2, 0, 0.0), (0, 0, 0.0), (1, 1, 2.5),
                                          (1, -1, 2.25)])))
    zu.sleep = lambda seconds: None
    context = {}
    operation(zu, "get_diagnostic_data")(context, "10.0.0.3")
    assert set(context) <= set(typing.get_type_hints(stub.DiagnosticContext))
    assert conforms(context, stub.DiagnosticContext)
    assert_shape(context["traceRouteHeader"], stub.TraceRouteHeader)
    assert [len(hop) for hop in context["routes"]] == [3, 4, 8]
    for hop in context["routes"]:
        assert_shape(hop, stub.TraceRouteHop)


def test_traceroute_settings_match_the_stub(zu, stub):
    settings = operation(zu, "TraceRouteSettings")
    assert {m.name: m.value for m in stub.TraceRouteSettings} == \
        {m.name: m.value for m in settings}
    assert list(settings.__members__) == list(stub.TraceRouteSettings.__members__)


# ---- the typed client and the stub checker -------------------------------------------


def test_typed_client_runs_against_the_simulator(zu, zel_sim, tmp_path):
    for name in SIGNATURES:
        operation(zu, name)
    scenario = zel_sim.scenario.default()
    scenario["mtraceroute"]["delay"] = 0
    for hop in scenario["traceroute"]["hop"]:
        hop["delay"] = 0
    zel_sim.load_scenario(scenario)
    zu.sleep = lambda seconds: None
    # Result files go to the test's directory instead of /tmp.
    zu.os = PrivateTmp(tmp_path)
    sys.path.insert(0, str(ROOT / "tests" / "typing"))
    try:
        import client
    finally:
        sys.path.pop(0)
    summary = client.summary()
    number, launched, typed, plain = summary["traceroute"]
    assert (number, launched) == ("0", 0)
    assert typed["result"] == plain["result"] == 1 and plain["caller"] == "view"
    assert summary["configuration"]["max_buff"] == 4095


def run_stubtest(stub_text, tmp_path):
    """Plain stubtest on a changed copy of the stub, found ahead of the
    installed one."""
    stubs = tmp_path / "zel-stubs"
    stubs.mkdir()
    (stubs / "py.typed").write_text("partial\n")
    (stubs / "zel_util.pyi").write_text(stub_text)
    env = dict(os.environ, PYTHONPATH=str(tmp_path))
    proc = subprocess.run(
        [sys.executable, "-W", "ignore", "-m", "mypy.stubtest", "--concise", "zel.zel_util"],
        capture_output=True, text=True, env=env, cwd=tmp_path, timeout=300)
    return proc.stdout.splitlines()


def test_stubtest_checks_operation_signatures(tmp_path):
    text = STUB.read_text(encoding="utf-8")
    changed = text.replace("def get_cmdb_max_buff() -> int:",
                           "def get_cmdb_max_buff(limit: int = 4096) -> int:")
    changed = changed.replace("def set_hostname(hostname: _Text)", "def set_hostname(name: _Text)")
    changed = changed.replace("def delete_sticky_mac_unsaved(name: _Text | None = None)",
                              "def delete_sticky_mac_unsaved(name: _Text | None = '')")
    assert changed.count("\n") == text.count("\n") and changed != text
    lines = run_stubtest(changed, tmp_path)
    assert not [line for line in lines if "is not a function" in line]
    assert 'zel.zel_util.get_cmdb_max_buff is inconsistent, runtime does not have parameter ' \
           '"limit"' in lines
    assert any(line.startswith("zel.zel_util.set_hostname is inconsistent") and '"name"' in line
               for line in lines)
    assert any(line.startswith("zel.zel_util.delete_sticky_mac_unsaved is inconsistent")
               and "default" in line for line in lines)
