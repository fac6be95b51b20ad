"""The argument binder under any keyword names: repeated names, distinct
str objects of one text, str subclasses whose __eq__ and __hash__ lie,
names that are not str, empty names. Every call gives a result or a
TypeError with the documented message; none returns NULL without an
exception (which would crash the interpreter)."""

import ctypes
import inspect

import pytest
from hypothesis import HealthCheck, assume, given, settings
from hypothesis import strategies as st

import zel.zel_util as zu
from operations import OPERATIONS, WITH_PARAMETERS

_vectorcall = ctypes.pythonapi.PyObject_Vectorcall
_vectorcall.restype = ctypes.py_object
_vectorcall.argtypes = [ctypes.py_object, ctypes.POINTER(ctypes.py_object), ctypes.c_size_t,
                        ctypes.py_object]


def vectorcall(fn, args, kwnames=(), kwvalues=()):
    """fn called through PyObject_Vectorcall with exactly these kwnames,
    repeats and non-str names included, which a ** call cannot pass."""
    values = [*args, *kwvalues]
    array = (ctypes.py_object * max(1, len(values)))(*values)
    names = ctypes.py_object(tuple(kwnames)) if kwnames else ctypes.py_object()
    return _vectorcall(fn, array, len(args), names)


class Twin(str):
    """Equal only to itself, all of one hash: a second key of a parameter's
    text in the same dict."""

    def __eq__(self, other):
        return self is other

    def __hash__(self):
        return 1


class Liar(str):
    """A str whose comparisons and hash raise."""

    def __eq__(self, other):
        raise AssertionError("the binder must not call __eq__")

    def __hash__(self):
        raise AssertionError("the binder must not call __hash__")


class Opaque:
    """An argument no operation can convert: bodies refuse it at once."""


@pytest.mark.parametrize("name", WITH_PARAMETERS)
def test_two_keys_of_one_parameter_text(name):
    fn = getattr(zu, name)
    params = inspect.signature(fn).parameters
    first = next(iter(params))
    kwargs = {p.name: Opaque() for p in params.values() if p.default is p.empty}
    kwargs[first] = Opaque()
    kwargs[Twin(first)] = Opaque()
    with pytest.raises(TypeError) as excinfo:
        fn(**kwargs)
    assert str(excinfo.value) == f"{name}() got multiple values for argument '{first}'"


@pytest.mark.parametrize("name", WITH_PARAMETERS)
def test_repeated_keyword_names_as_a_python_function_reports_them(name):
    fn = getattr(zu, name)
    params = list(inspect.signature(fn).parameters.values())
    namespace = {}
    exec(f"def {name}({', '.join(p.name for p in params)}): pass", namespace)
    # The parameters before the last by position, the last twice by keyword.
    args = [Opaque()] * (len(params) - 1)
    last = params[-1].name
    for kwnames in [(last, last), (last, "".join(last)), (last, "".join(last), last)]:
        messages = []
        for target in (fn, namespace[name]):
            with pytest.raises(TypeError) as excinfo:
                vectorcall(target, args, kwnames, [Opaque()] * len(kwnames))
            messages.append(str(excinfo.value))
        assert messages[0] == messages[1] == (
            f"{name}() got multiple values for argument '{last}'")


@pytest.mark.parametrize("twin", [Twin, Liar])
def test_subclass_names_its_parameter_by_text_alone(twin):
    with pytest.raises(TypeError) as excinfo:
        vectorcall(zu.set_hostname, [], ("hostname", twin("hostname")), [Opaque(), Opaque()])
    assert str(excinfo.value) == "set_hostname() got multiple values for argument 'hostname'"
    with pytest.raises(TypeError, match="expected bytes, Opaque found"):
        vectorcall(zu.set_hostname, [], (twin("hostname"),), [Opaque()])


def test_keyword_faults_in_keyword_order():
    fn = zu.get_diagnostic_data
    cases = [
        (("ttl", "ttl", "bogus"), "multiple values for argument 'ttl'"),
        (("bogus", "ttl", "ttl"), "unexpected keyword argument 'bogus'"),
        ((b"ttl", "ttl", "ttl"), "keywords must be strings"),
        (("context", "context"), "multiple values for keyword argument 'context'"),
    ]
    for kwnames, message in cases:
        with pytest.raises(TypeError, match=message):
            vectorcall(fn, [{}, "x"], kwnames, [3] * len(kwnames))


def test_missing_parameter_is_reported_before_a_repeated_keyword():
    with pytest.raises(TypeError) as excinfo:
        vectorcall(zu.exec_mtraceroute, [], ("max_ttl", "max_ttl"), [1, 2])
    assert str(excinfo.value) == "exec_mtraceroute() takes at least 2 positional arguments (0 given)"


# ---- the documented rules, as a model to check every binding against ----------

def count_message(name, given, nrequired, nparams):
    too_few = given < nrequired
    expected = nrequired if too_few else nparams
    word = "exactly" if nrequired == nparams else ("at least" if too_few else "at most")
    plural = "" if expected == 1 else "s"
    return f"{name}() takes {word} {expected} positional argument{plural} ({given} given)"


def binding_error(fn, args, kwnames, kwvalues):
    """The TypeError message the documented binding rules give, or None when
    the arguments bind."""
    name = fn.__name__
    params = list(inspect.signature(fn).parameters.values())
    nparams = len(params)
    nrequired = sum(p.default is p.empty for p in params)
    nargs = len(args)
    if nparams == 0:
        if kwnames:
            return f"{name}() takes no keyword arguments"
        return f"{name}() takes no arguments ({nargs} given)" if nargs else None
    if nargs > nparams:
        return count_message(name, nargs, nrequired, nparams)
    bound = dict(enumerate(args))
    fault = None
    for keyword, value in zip(kwnames, kwvalues):
        found = None
        if not isinstance(keyword, str):
            found = f"{name}() keywords must be strings"
        else:
            text = str.__str__(keyword)
            index = next((i for i, p in enumerate(params) if p.name == text), None)
            if index is None:
                found = f"{name}() got an unexpected keyword argument '{text}'"
            elif index < nargs:
                found = f"{name}() got multiple values for keyword argument '{text}'"
            elif index in bound:
                found = f"{name}() got multiple values for argument '{text}'"
            else:
                bound[index] = value
        fault = fault or found
    for i in range(nargs, nparams):
        if i not in bound and params[i].default is params[i].empty:
            return count_message(name, i, nrequired, nparams)
    if fault:
        return fault
    for i, param in enumerate(params):
        value = bound.get(i, param.default)
        if param.annotation == "int" and type(value) is not int:
            return (f"Argument '{param.name}' has incorrect type "
                    f"(expected int, got {type(value).__name__})")
    return None


PARAMETER_NAMES = sorted({p for name in WITH_PARAMETERS
                          for p in inspect.signature(getattr(zu, name)).parameters})
KEYWORDS = st.one_of(
    st.sampled_from(PARAMETER_NAMES),
    st.sampled_from(PARAMETER_NAMES).map(lambda p: "".join(p)),  # not the interned object
    st.sampled_from(PARAMETER_NAMES).map(Twin),
    st.sampled_from(PARAMETER_NAMES).map(Liar),
    st.text(max_size=4),
    st.text(max_size=2).map(Liar),
    st.sampled_from([b"name", 0, None, ("ttl",), 1.5]),
)
VALUES = st.sampled_from([7, None]).map(lambda v: Opaque() if v is None else v)


@settings(max_examples=600, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(name=st.sampled_from(OPERATIONS), args=st.lists(VALUES, max_size=6),
       kwnames=st.lists(KEYWORDS, max_size=5), data=st.data())
def test_any_keyword_names(name, args, kwnames, data):
    fn = getattr(zu, name)
    # A no-argument operation called with nothing binds trivially; running
    # it would only reserve result files and the like.
    assume(args or kwnames or name in WITH_PARAMETERS)
    kwvalues = data.draw(st.lists(VALUES, min_size=len(kwnames), max_size=len(kwnames)))
    expected = binding_error(fn, args, kwnames, kwvalues)
    try:
        vectorcall(fn, args, kwnames, kwvalues)
    except TypeError as exc:
        # After a binding, the bodies refuse the opaque and int arguments.
        if expected is not None:
            assert str(exc) == expected
        return
    assert expected is None
