"""The result floor of the benchmark recreates what the module builds: the
bytes made once from a call's result give back a graph equal to the result
of any later call (types, key orders and values; named tuples as plain
tuples), so the floor measures the creation of the same objects. A call
without a result floor builds nothing: it returns an object that already
existed. No timing here."""

import datetime
import marshal
import os
import sys

import pytest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

from bench import ctypes_baseline, workload  # noqa: E402

BUILDING = [case for case in workload.CASES if case.builds]
NOT_BUILDING = [case for case in workload.CASES if not case.builds]


def differs(original, recreated, where="result"):
    """None when `recreated` is `original` with its named tuples as plain
    tuples and everything else alike (types, key orders, values), else where
    they differ."""
    if isinstance(original, tuple) and hasattr(original, "_fields"):
        if type(recreated) is not tuple:
            return f"{where}: {type(recreated).__name__} for a named tuple"
    elif type(recreated) is not type(original):
        return f"{where}: {type(recreated).__name__} for {type(original).__name__}"
    if isinstance(original, dict):
        if list(recreated) != list(original):
            return f"{where}: keys {list(recreated)} for {list(original)}"
        return next((d for k in original
                     if (d := differs(original[k], recreated[k], f"{where}[{k!r}]"))), None)
    if isinstance(original, (list, tuple)):
        if len(recreated) != len(original):
            return f"{where}: {len(recreated)} items for {len(original)}"
        return next((d for i, (a, b) in enumerate(zip(original, recreated))
                     if (d := differs(a, b, f"{where}[{i}]"))), None)
    return None if recreated == original else f"{where}: {recreated!r} for {original!r}"


@pytest.fixture
def work(zu):
    with workload.Workload(zu, ctypes_baseline) as w:
        yield w


@pytest.mark.parametrize("case", BUILDING, ids=lambda case: case.name)
def test_the_floor_recreates_the_result_of_another_call(zu, work, case):
    floor = workload.result_floor(work, case, getattr(zu, case.function))
    later = workload.built_value(case, workload.observe(work, case, getattr(zu, case.function)))
    assert differs(later, floor.make(floor.data)) is None


def built_twice(work, case, function):
    return [workload.built_value(case, workload.observe(work, case, function)) for _ in "ab"]


@pytest.mark.parametrize("case", BUILDING, ids=lambda case: case.name)
def test_a_call_with_a_floor_builds_its_result(zu, work, case):
    first, again = built_twice(work, case, getattr(zu, case.function))
    assert first is not again, (
        f"bench/workload.py: {case.function}() returns an object that already existed "
        f"({first!r}), which has no result floor: a flag or a constant needs a CASES entry "
        f"without builds, Case({case.function!r}, {case.function!r}, **_FLAG); a reading, a "
        f"value on the benchmark's switch that the interpreter does not keep (an int beyond "
        f"256, say: in sim/zel_sim/default.toml, or scripted in script_switch())")


@pytest.mark.parametrize("case", NOT_BUILDING, ids=lambda case: case.name)
def test_a_call_without_a_floor_returns_an_object_that_already_existed(zu, work, case):
    first, again = built_twice(work, case, getattr(zu, case.function))
    assert first is again, (
        f"bench/workload.py: {case.function}() builds a new result each call ({first!r}): "
        f"give its CASES entry builds=\"result\", so that it is set against its result floor")


def test_every_target_on_the_result_floor_has_one():
    lacking = [case.name for case in workload.CASES if case.target == "result" and not case.builds]
    assert not lacking, (f"bench/workload.py: the CASES entries of {', '.join(lacking)} set a "
                         f"target on the result floor: give them builds=\"result\" too")


def test_the_trace_floor_is_the_whole_context_mapping(zu, work):
    name = f"get_diagnostic_data[{workload.TRACE_HOPS}]"
    case = next(c for c in workload.CASES if c.name == name)
    graph = marshal.loads(workload.result_floor(work, case, zu.get_diagnostic_data).data)
    assert list(graph) == ["result", "routingTable", "traceRouteHeader", "routes"]
    assert len(graph["routes"]) == workload.TRACE_HOPS


def test_named_tuples_become_plain_tuples(zu, work):
    case = next(c for c in workload.CASES if c.function == "psu_list")
    graph = marshal.loads(workload.result_floor(work, case, zu.psu_list).data)
    assert graph == [tuple(supply) for supply in zu.psu_list()]
    assert all(type(supply) is tuple for supply in graph)


def test_a_datetime_is_made_from_its_state(zu, work):
    case = next(c for c in workload.CASES if c.function == "get_last_backup")
    floor = workload.result_floor(work, case, zu.get_last_backup)
    assert floor.kind == "datetime"
    made = floor.make(floor.data)
    assert type(made) is datetime.datetime and made == zu.get_last_backup()
