"""Arbitrary objects for every parameter of every function: each call
returns a result of its documented shape or raises one of the exceptions
the function documents; nothing crashes."""

import sys

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
from zel_sim import Step, records

import util.errors
import zel.zel_util as zu
import zel_sim

from calls import NullStream
from operations import NO_ARGUMENTS, PARAMETER_NAMES


class Hostile(Exception):
    """Raised by the dunder methods of the objects below."""


class RaisingInt:
    def __int__(self):
        raise Hostile


class RaisingBool:
    def __bool__(self):
        raise Hostile


class RaisingIndex:
    def __index__(self):
        raise Hostile


class IntSub(int):
    pass


class StrSub(str):
    pass


class BytesSub(bytes):
    pass


ANY = st.one_of(
    st.integers(-(2**70), 2**70),
    st.sampled_from([0, 1, -1, 2**31 - 1, 2**31, -(2**31) - 1, 2**64]),
    st.booleans(),
    st.floats(),
    st.text(st.characters(blacklist_categories=())),  # surrogates and beyond U+00FF
    st.text(st.characters(max_codepoint=0xFF)),
    st.binary(max_size=300),
    st.binary(max_size=300).map(bytearray),
    st.none(),
    st.integers().map(IntSub),
    st.text().map(StrSub),
    st.binary().map(BytesSub),
    st.builds(RaisingInt),
    st.builds(RaisingBool),
    st.builds(RaisingIndex),
    st.lists(st.integers(), max_size=3),
    st.dictionaries(st.text(max_size=3), st.integers(), max_size=2),
)

CFunctionError = util.errors.CFunctionError
TEXT_ERRORS = (TypeError, UnicodeEncodeError)

# name: (valid arguments, documented exceptions, check of a result)
FUNCTIONS = {
    "get_8021x_status": (["gi1/0/1"], TEXT_ERRORS + (CFunctionError,),
                         lambda r: type(r) is dict and len(r) == 15),
    "get_8021x_sessions": (["gi1/0/1"], TEXT_ERRORS + (CFunctionError,),
                           lambda r: type(r) is list),
    "set_hostname": (["sw"], TEXT_ERRORS, lambda r: type(r) is int),
    "system_port_traffic": (["lo"], TEXT_ERRORS, lambda r: type(r) is zu.SystemPortStats),
    "delete_sticky_mac_unsaved": ([None], TEXT_ERRORS, lambda r: type(r) is int),
    "get_diagnostic_data": ([{}, "10.0.0.1", 32, 3, 15],
                            (TypeError, OverflowError, UnicodeEncodeError),
                            lambda r: r is None),
    "exec_mtraceroute": (["1", "232.1.1.1", 90, 5, 30],
                         (TypeError, ValueError, OverflowError, UnicodeEncodeError, Hostile),
                         lambda r: type(r) is int),
}
PARAMETERS = [(name, i) for name, (valid, _, _) in FUNCTIONS.items() for i in range(len(valid))]
HOSTILE = settings(max_examples=80, deadline=None,
                   suppress_health_check=[HealthCheck.function_scoped_fixture])


@pytest.fixture(autouse=True)
def quick_platform(zu):
    """Launch and trace without the default scenario's delays; counter read
    errors silenced."""
    hop = records.trace_response(1, "10.0.0.1", "h", [(1, 5, 1.0), (2, 0, 0.0)])
    zel_sim.script("api_mtraceroute", result=0)
    zel_sim.script("query_trace_route", Step(result=1, record=hop))
    zel_sim.script("init_trace_route", result=1, record=records.trace_header(b"h", b"10.0.0.1"))
    saved = sys.stderr, sys.unraisablehook
    sys.stderr, sys.unraisablehook = NullStream(), lambda unraisable: None
    yield
    sys.stderr, sys.unraisablehook = saved


def check(name, args, kwargs):
    _, allowed, shape = FUNCTIONS[name]
    try:
        result = getattr(zu, name)(*args, **kwargs)
    except allowed:
        return
    assert shape(result), result


@pytest.mark.parametrize("name, index", PARAMETERS)
@HOSTILE
@given(value=ANY)
def test_any_object_for_one_parameter(name, index, value):
    args = list(FUNCTIONS[name][0])
    args[index] = value
    check(name, args, {})


@pytest.mark.parametrize("name, index", PARAMETERS)
@HOSTILE
@given(value=ANY)
def test_any_object_by_keyword(name, index, value):
    args = FUNCTIONS[name][0][:index]
    check(name, args, {PARAMETER_NAMES[name][index]: value})


@pytest.mark.parametrize("name", NO_ARGUMENTS)
@HOSTILE
@given(value=ANY)
def test_no_argument_functions_refuse_any_argument(name, value):
    with pytest.raises(TypeError, match=r"takes no (keyword )?arguments"):
        getattr(zu, name)(value)
    with pytest.raises(TypeError, match=r"takes no keyword arguments"):
        getattr(zu, name)(x=value)


@HOSTILE
@given(values=st.lists(ANY, min_size=6, max_size=8))
def test_too_many_arguments(values):
    for name in FUNCTIONS:
        with pytest.raises(TypeError, match=r"positional argument"):
            getattr(zu, name)(*values)
