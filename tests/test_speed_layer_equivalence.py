"""The speed layer changes no result. This build of the module and its
counterpart built the other way (`zel_counterpart.zel_util`, which `make
build` installs beside it: one of the two has the layer, the other only its
plain paths) answer every call alike, while Hypothesis changes, between
calls, everything the direct paths depend on: module-level names and
builtins, pyramid's bytes_ and text_ in place and rebound, the names those
read, the named-tuple classes, and dict and type watchers that other code
may remove."""

import builtins
import datetime
import importlib
import os

import hypothesis.strategies as st
import pyramid._compat as compat
import pytest
import zel_sim
from hypothesis import HealthCheck, settings
from hypothesis.stateful import (RuleBasedStateMachine, precondition, rule,
                                 run_state_machine_as_test)
from zel_sim import records
from zel_sim.testing import PrivateTmp, hops, script_trace

import zel.zel_util as zu
from operations import OPERATIONS, WITH_PARAMETERS

try:
    import _testcapi
except ImportError:  # interpreters built without the test modules
    _testcapi = None


def counterpart():
    try:
        return importlib.import_module("zel_counterpart.zel_util")
    except ImportError as error:
        pytest.fail(f"{error}: make build installs the counterpart (ZEL_COUNTERPART=ON)")


PORT = "gi1/0/2"  # a port of the default scenario, with counter files
# The calls of the functions with parameters; those without are called as
# they are.
CALLS = {
    "get_8021x_status": (PORT,),
    "get_8021x_sessions": (PORT,),
    "system_port_traffic": (PORT,),
    "delete_sticky_mac_unsaved": (PORT,),
    "set_hostname": ("core-sw-1",),
    "exec_mtraceroute": ("7", "232.1.1.1"),
    "get_diagnostic_data": ({}, "10.9.9.9", 4, 2, 1),
}

# Names the steps rebind in both modules, with what they may take. A
# callable value is made per module (its own class, say).
REAL_ISINSTANCE = builtins.isinstance


def utf8_text(s, encoding="latin-1", errors="strict"):
    return s.decode("utf-8", "replace") if REAL_ISINSTANCE(s, bytes) else s


def upper_bytes(s, encoding="latin-1", errors="strict"):
    return s.upper().encode(encoding, errors) if REAL_ISINSTANCE(s, str) else s


def lower_text(s, encoding="latin-1", errors="strict"):
    return s.decode(encoding, errors).lower() if REAL_ISINSTANCE(s, bytes) else s


def meddling_new(module, function):
    """A __new__ that rebinds the module's text_ as it makes the instance:
    what the module converts after it must see the change."""
    def __new__(cls, *values):
        module.text_ = lower_text
        return function(cls, *values)
    return staticmethod(__new__)


def lying_isinstance(obj, cls):
    """isinstance, but not for the supplies' names: only pyramid's
    functions see it."""
    if type(obj) is bytes and obj.startswith(b"PSU"):
        return False
    return REAL_ISINSTANCE(obj, cls)


OTHER_TUPLE = __import__("collections").namedtuple("Other", "a b c d")


def originals(module):
    return {name: getattr(module, name) for name in (
        "bytes_", "text_", "_CHARSET", "PSU", "SystemPortStats", "CFunctionError", "datetime",
        "_KEY", "sleep", "ICMP_CODES_FOR_CHARACTERS", "get_routing_table_result")}


REBINDINGS = {
    "text_": [lambda m, o: o["text_"], lambda m, o: utf8_text, lambda m, o: compat.bytes_,
              lambda m, o: (lambda s, *a: o["text_"](s, *a))],
    "bytes_": [lambda m, o: o["bytes_"], lambda m, o: upper_bytes, lambda m, o: compat.text_],
    "_CHARSET": [lambda m, o: "utf-8", lambda m, o: "latin-1", lambda m, o: "UTF8"],
    "PSU": [lambda m, o: o["PSU"], lambda m, o: OTHER_TUPLE, lambda m, o: o["SystemPortStats"]],
    "SystemPortStats": [lambda m, o: o["SystemPortStats"], lambda m, o: OTHER_TUPLE],
    "_KEY": [lambda m, o: o["_KEY"], lambda m, o: b"other"],
    "FileExistsError": [lambda m, o: KeyError, lambda m, o: FileExistsError],
    "BlockingIOError": [lambda m, o: KeyError],
    "ICMP_CODES_FOR_CHARACTERS": [lambda m, o: o["ICMP_CODES_FOR_CHARACTERS"],
                                  lambda m, o: {}],
}
# Module-level names the steps may delete: the builtins then answer, if any.
DELETABLE = ["text_", "bytes_", "_CHARSET", "PSU", "FileExistsError", "_KEY"]
# Builtins the steps may add (shadowed while the module binds the name).
BUILTINS = {"text_": utf8_text, "bytes_": upper_bytes, "_CHARSET": "latin-1",
            "PSU": OTHER_TUPLE, "_KEY": b"sys_confroot"}


def alternative_code(fn):
    """Code for fn's signature that does something else with its value."""
    if fn is compat.text_:
        return utf8_text.__code__
    return upper_bytes.__code__


def shape(value):
    """A value with its types spelt out, named tuples by their class name,
    so that equal shapes mean equal results down to types and key order."""
    if isinstance(value, dict):
        return ("dict", [(shape(k), shape(v)) for k, v in value.items()])
    if isinstance(value, list):
        return ("list", [shape(v) for v in value])
    if isinstance(value, tuple):
        return (type(value).__name__, [shape(v) for v in value])
    if isinstance(value, (str, bytes, int, float, type(None), datetime.datetime)):
        return (type(value).__name__, value)
    return (type(value).__name__, repr(value))


def outcome(call):
    try:
        result = call()
    except BaseException as error:  # KeyboardInterrupt cannot come from these calls
        return ("raised", type(error).__name__, shape(error.args))
    return ("returned", shape(result))


class Equivalence(RuleBasedStateMachine):
    def __init__(self):
        super().__init__()
        self.modules = (zu, counterpart())
        self.saved = {m: dict(vars(m)) for m in self.modules}
        self.originals = {m: originals(m) for m in self.modules}
        self.builtins = dict(vars(builtins))
        self.compat = {name: getattr(compat, name) for name in ("binary_type", "text_type")}
        self.functions = {fn: (fn.__code__, fn.__defaults__, fn.__kwdefaults__)
                          for fn in (compat.text_, compat.bytes_)}
        self.classes = {}
        for m in self.modules:
            for cls in (m.PSU, m.SystemPortStats):
                # As made, __new__ is a staticmethod; another test may have
                # put the plain function back.
                entry, function = vars(cls)["__new__"], cls.__new__
                descriptor = entry if isinstance(entry, staticmethod) else staticmethod(function)
                cls.__new__ = descriptor
                self.classes[cls] = (set(vars(cls)), entry, descriptor, function,
                                     function.__globals__["_tuple_new"])
        for m in self.modules:
            m.os = PrivateTmp(self.tmp_path, record=False)
            m.sleep = abs

    def teardown(self):
        builtins.isinstance = REAL_ISINSTANCE
        for name in set(vars(builtins)) - set(self.builtins):
            delattr(builtins, name)
        for fn, (code, defaults, kwdefaults) in self.functions.items():
            fn.__code__, fn.__defaults__, fn.__kwdefaults__ = code, defaults, kwdefaults
        for name, value in self.compat.items():
            setattr(compat, name, value)
        vars(compat).pop("isinstance", None)
        for cls, (names, entry, descriptor, function, tuple_new) in self.classes.items():
            for name in set(vars(cls)) - names:
                delattr(cls, name)
            descriptor.__init__(function)
            cls.__new__ = entry
            function.__globals__["_tuple_new"] = tuple_new
        for m, namespace in self.saved.items():
            vars(m).clear()
            vars(m).update(namespace)

    # --- what the direct paths depend on ----------------------------------

    @rule(name=st.sampled_from(sorted(REBINDINGS)), choice=st.integers(0, 3))
    def rebind(self, name, choice):
        options = REBINDINGS[name]
        for m in self.modules:
            setattr(m, name, options[choice % len(options)](m, self.originals[m]))

    @rule(name=st.sampled_from(DELETABLE))
    def delete(self, name):
        for m in self.modules:
            vars(m).pop(name, None)

    @rule(name=st.sampled_from(sorted(BUILTINS)), add=st.booleans())
    def builtin(self, name, add):
        if add:
            setattr(builtins, name, BUILTINS[name])
        else:
            vars(builtins).pop(name, None)

    @rule(lying=st.booleans())
    def builtin_isinstance(self, lying):
        builtins.isinstance = lying_isinstance if lying else REAL_ISINSTANCE

    @rule(fn=st.sampled_from([compat.text_, compat.bytes_]),
          change=st.sampled_from(["defaults-utf8", "defaults-copy", "code-copy", "code-other",
                                  "code-original", "kwdefaults", "kwdefaults-none"]))
    def change_in_place(self, fn, change):
        code = self.functions[fn][0]
        if change == "defaults-utf8":
            fn.__defaults__ = ("utf-8", "strict")
        elif change == "defaults-copy":
            fn.__defaults__ = tuple(["latin-1", "strict"])
        elif change == "code-copy":
            fn.__code__ = code.replace()
        elif change == "code-other":
            fn.__code__ = alternative_code(fn)
        elif change == "code-original":
            fn.__code__ = code
        elif change == "kwdefaults":
            fn.__kwdefaults__ = {}
        else:
            fn.__kwdefaults__ = None

    @rule(name=st.sampled_from(["binary_type", "text_type"]),
          value=st.sampled_from([str, bytes, bytearray]))
    def pyramid_global(self, name, value):
        setattr(compat, name, value)

    @rule(shadow=st.booleans())
    def pyramid_isinstance(self, shadow):
        if shadow:
            compat.isinstance = lying_isinstance
        else:
            vars(compat).pop("isinstance", None)

    @rule(which=st.sampled_from(["PSU", "SystemPortStats"]),
          change=st.sampled_from(["new-replaced", "new-meddling", "new-original", "init",
                                  "no-init",
                                  "churn", "tuple-new-reversed", "tuple-new-original",
                                  "static-reinit", "static-original"]))
    def change_class(self, which, change):
        for m in self.modules:
            cls = self.originals[m][which]
            names, entry, descriptor, function, tuple_new = self.classes[cls]
            if change == "new-replaced":
                cls.__new__ = staticmethod(lambda c, *values: "REPLACED")
            elif change == "new-meddling":
                cls.__new__ = meddling_new(m, function)
            elif change == "new-original":
                cls.__new__ = descriptor
            elif change == "init":
                cls.__init__ = lambda self, *values: None
            elif change == "no-init":
                if "__init__" in vars(cls):
                    del cls.__init__
            elif change == "churn":  # past the versions a class is given
                for i in range(1001):
                    cls.churn = i
                    cls.churn
            elif change == "tuple-new-reversed":
                function.__globals__["_tuple_new"] = (
                    lambda c, values, real=tuple_new: real(c, values[::-1]))
            elif change == "tuple-new-original":
                function.__globals__["_tuple_new"] = tuple_new
            elif change == "static-reinit":
                descriptor.__init__(lambda c, *values: function(c, *reversed(values)))
            else:
                descriptor.__init__(function)

    @precondition(lambda self: _testcapi is not None)
    @rule(watcher=st.integers(0, 7))
    def unwatch(self, watcher):
        for m in self.modules:
            for d in (vars(m), vars(builtins), vars(compat)):
                try:
                    _testcapi.unwatch_dict(watcher, d)
                except ValueError:  # no such watcher
                    pass
            for cls in (self.originals[m]["PSU"], self.originals[m]["SystemPortStats"]):
                try:
                    _testcapi.unwatch_type(watcher, cls)
                except ValueError:
                    pass

    # --- the calls ---------------------------------------------------------

    @rule(name=st.sampled_from(OPERATIONS))
    def call(self, name):
        outcomes = [self.outcome_of(m, name) for m in self.modules]
        assert outcomes[0] == outcomes[1], name

    def outcome_of(self, module, name):
        args = prepare(name)
        answer = [outcome(lambda: getattr(module, name)(*args))]
        if name == "get_diagnostic_data":  # what the trace wrote into its context
            answer.append(shape(args[0]))
        for entry in os.scandir(self.tmp_path):
            if entry.name != "mtraceroute_0":  # kept taken: the next number is free again
                os.unlink(entry.path)
        return answer


def prepare(name):
    """The arguments of a call, after scripting what it needs."""
    if name == "get_diagnostic_data":
        probes = [(1, -1, 1.5), (1, 5, 2.25), (2, 0, 0.0)]
        script_trace(*hops(3, probes),
                     header=records.trace_header(b"target", b"10.9.9.9", 30, 3, 5, 60))
        return ({}, *CALLS[name][1:])
    if name == "exec_mtraceroute":
        zel_sim.script("api_mtraceroute", result=0)  # the default launch takes a second
    return CALLS.get(name, ())


def test_every_function_with_parameters_has_its_call():
    missing = [name for name in WITH_PARAMETERS if name not in CALLS]
    assert not missing, f"tests/test_speed_layer_equivalence.py: CALLS lacks {missing}"


def test_the_counterpart_is_the_other_build():
    other = counterpart()
    assert other is not zu and other.__file__ != zu.__file__
    assert other.__name__ == "zel_counterpart.zel_util"


def test_both_builds_answer_alike_whatever_changes(tmp_path):
    (tmp_path / "mtraceroute_0").touch()  # taken: FileExistsError is caught, or not
    Equivalence.tmp_path = tmp_path
    run_state_machine_as_test(Equivalence, settings=settings(
        max_examples=300, stateful_step_count=30, deadline=None,
        suppress_health_check=[HealthCheck.too_slow]))
