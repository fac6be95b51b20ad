"""Multicast traceroute: result files, launch and the hop-by-hop query."""

import enum
import fcntl
import functools
import os
import threading
import time
import traceback
import types

import pytest
import zel_sim
from zel_sim import Step, records
from zel_sim.testing import PrivateTmp, hop, script_trace

PREFIX = "/tmp/mtraceroute_"


# ---- result files ---------------------------------------------------------------


@pytest.fixture
def private_os(zu, tmp_path):
    """The module's os, with the result files made in a private directory,
    so that no test depends on the real /tmp; the module opens nothing else
    through it."""
    fake = zu.os = PrivateTmp(tmp_path)
    yield fake
    assert fake.passed == []


def numbers_in(root):
    return sorted(p.name[len("mtraceroute_"):] for p in root.iterdir())


class TestSafeResultFile:
    @pytest.mark.parametrize("present, expected", [
        ([], "0"),
        (["0", "1"], "2"),
        (["0", "2"], "1"),
        (["00", "01"], "0"),
        ([str(n) for n in range(999)], "999"),
    ])
    def test_lowest_free_number(self, zu, private_os, present, expected):
        for name in present:
            (private_os.root / f"mtraceroute_{name}").write_text("taken")
        assert zu.get_safe_r_file() == expected
        created = private_os.root / f"mtraceroute_{expected}"
        assert created.read_bytes() == b""
        assert private_os.opened[-1] == (
            PREFIX + expected, (os.O_CREAT | os.O_EXCL | os.O_RDWR,))

    def test_calls_in_a_row_take_successive_numbers(self, zu, private_os):
        assert [zu.get_safe_r_file() for _ in range(3)] == ["0", "1", "2"]

    @pytest.mark.parametrize("entry", ["directory", "dangling link", "link to a file"])
    def test_any_entry_takes_the_number_and_links_are_not_followed(
            self, zu, private_os, tmp_path, entry):
        path = private_os.root / "mtraceroute_0"
        target = tmp_path / "target"
        if entry == "directory":
            path.mkdir()
        else:
            if entry == "link to a file":
                target.write_text("keep")
            path.symlink_to(target)
        assert zu.get_safe_r_file() == "1"
        assert target.exists() == (entry == "link to a file")
        if entry == "link to a file":
            assert target.read_text() == "keep"

    def test_exhausted(self, zu, private_os):
        for n in range(1000):
            (private_os.root / f"mtraceroute_{n}").touch()
        assert zu.get_safe_r_file() is None
        assert len(private_os.opened) == 1000
        assert len(list(private_os.root.iterdir())) == 1000

    def test_file_locked_elsewhere_is_given_up_without_waiting(self, zu, tmp_path):
        held = open(tmp_path / "held", "w")
        fcntl.flock(held, fcntl.LOCK_EX)

        class LockedFirst(PrivateTmp):
            def open(self, path, *args):
                if path == PREFIX + "0":  # as if created, then locked by someone else
                    return os.open(tmp_path / "held", os.O_RDWR)
                return super().open(path, *args)

        zu.os = LockedFirst(tmp_path / "files")
        zu.os.root.mkdir()
        try:
            assert zu.get_safe_r_file() == "1"
        finally:
            held.close()

    @pytest.mark.parametrize("error", [PermissionError(13, "denied"), OSError(28, "full")])
    def test_other_open_errors_propagate_at_once(self, zu, private_os, error):
        def refuse(path, *args):
            private_os.opened.append(path)
            raise error

        private_os.open = refuse
        with pytest.raises(type(error)) as excinfo:
            zu.get_safe_r_file()
        assert excinfo.value is error
        assert private_os.opened == [PREFIX + "0"]
        assert "zel.zel_util.get_safe_r_file" in traceback_names(excinfo)

    def test_other_lock_errors_propagate_after_closing_the_file(self, zu, private_os):
        locked = []

        def flock(f, flags):
            locked.append((f, flags))
            raise OSError(9, "bad")

        zu.fcntl = types.SimpleNamespace(flock=flock, LOCK_EX=fcntl.LOCK_EX,
                                         LOCK_NB=fcntl.LOCK_NB)
        with pytest.raises(OSError, match="bad"):
            zu.get_safe_r_file()
        [(f, flags)] = locked
        assert flags == fcntl.LOCK_EX | fcntl.LOCK_NB and f.closed and f.mode == "w"
        assert numbers_in(private_os.root) == ["0"]

    def test_os_is_looked_up_at_each_call(self, zu, private_os):
        del zu.os
        with pytest.raises(NameError, match="^name 'os' is not defined$"):
            zu.get_safe_r_file()


# ---- TraceRouteSettings and ICMP codes --------------------------------------------


class TestTraceRouteSettings:
    def test_members_and_alias(self, zu):
        settings = zu.TraceRouteSettings
        assert [(m.name, m.value) for m in settings] == [
            ("ttl", 32), ("probes", 3), ("timeout", 5), ("max_ttl", 64), ("max_timeout", 10)]
        assert settings.max_probes is settings.timeout
        assert settings(5) is settings.timeout
        assert list(settings.__members__) == [
            "ttl", "probes", "timeout", "max_ttl", "max_probes", "max_timeout"]
        assert isinstance(settings.ttl, int) and settings.ttl == 32
        assert issubclass(settings, enum.IntEnum)
        assert (settings.__module__, settings.__qualname__) == ("zel.zel_util",
                                                               "TraceRouteSettings")

    def test_built_like_a_class_statement(self, python):
        proc = python("""
            import enum
            class Meta(type(enum.IntEnum)):
                @classmethod
                def __prepare__(meta, name, bases, **kw):
                    print("prepare", name, [b.__name__ for b in bases])
                    return super().__prepare__(name, bases, **kw)
                def __new__(meta, name, bases, ns, **kw):
                    print("body", [k for k in ns if not k.startswith("_")
                                   or k in ("__module__", "__qualname__")])
                    return super().__new__(meta, name, bases, ns, **kw)
            class Base(enum.IntEnum, metaclass=Meta):
                pass
            enum.IntEnum = Base
            import zel.zel_util as z
            print(type(z.TraceRouteSettings).__name__, z.TraceRouteSettings.__bases__[0].__name__)
        """)
        assert proc.stdout.splitlines()[-3:] == [
            "prepare TraceRouteSettings ['Base']",
            "body ['__module__', '__qualname__', 'ttl', 'probes', 'timeout', 'max_ttl', "
            "'max_probes', 'max_timeout']",
            "Meta Base",
        ]

    def test_icmp_codes(self, zu):
        assert list(zu.ICMP_CODES_FOR_CHARACTERS.items()) == [
            (-2, "!"), (3, "!"), (0, "!N"), (1, "!H"), (2, "!N"), (4, "!F"), (5, "!S"),
            (13, "!X"), (14, "!V"), (15, "!C")]


# ---- function objects -------------------------------------------------------------------


@pytest.mark.parametrize("name, defaults, annotations, few, many", [
    ("exec_mtraceroute", (90, 5, 30), {"confidence": "int", "max_ttl": "int"},
     "exec_mtraceroute() takes at least 2 positional arguments (1 given)",
     "exec_mtraceroute() takes at most 5 positional arguments (6 given)"),
    ("get_diagnostic_data", (32, 3, 15), {"ttl": "int", "probes": "int", "timeout": "int"},
     "get_diagnostic_data() takes at least 2 positional arguments (1 given)",
     "get_diagnostic_data() takes at most 5 positional arguments (6 given)"),
])
def test_signatures(zu, zel_sim, name, defaults, annotations, few, many):
    f = getattr(zu, name)
    assert f.__defaults__ == defaults and f.__annotations__ == annotations
    for args, message in [((1,), few), ((1,) * 6, many)]:
        with pytest.raises(TypeError) as excinfo:
            f(*args)
        assert str(excinfo.value) == message
    with pytest.raises(TypeError, match=r"^get_safe_r_file\(\) takes no arguments \(1 given\)$"):
        zu.get_safe_r_file(1)
    assert zel_sim.calls() == []


# ---- exec_mtraceroute -----------------------------------------------------------------


def launches():
    return [c.args for c in zel_sim.calls("api_mtraceroute")]


@pytest.fixture
def launch(zel_sim):
    zel_sim.script("api_mtraceroute", result=-7)
    return launches


class IntLike:
    def __init__(self, value):
        self.value = value

    def __int__(self):
        if isinstance(self.value, Exception):
            raise self.value
        return self.value


class MyInt(int):
    pass


class TestExecMtraceroute:
    def test_defaults_and_result(self, zu, launch):
        assert zu.exec_mtraceroute("3", "239.1.1.1") == -7
        assert launch() == [(b"239.1.1.1", 90, 5, 30, b"3")]

    def test_all_arguments(self, zu, launch):
        zu.exec_mtraceroute(dst="d", r_file="r", max_ttl=-1, flow_id=2**31 - 1,
                            confidence=-2**31)
        assert launch() == [(b"d", -2**31, 2**31 - 1, -1, b"r")]

    @pytest.mark.parametrize("kwargs, message", [
        (dict(confidence=True), "Argument 'confidence' has incorrect type "
                                "(expected int, got bool)"),
        (dict(max_ttl=1.0), "Argument 'max_ttl' has incorrect type (expected int, got float)"),
        (dict(confidence=MyInt(1), max_ttl=None),
         "Argument 'confidence' has incorrect type (expected int, got MyInt)"),
    ])
    def test_exact_int_checks_come_before_everything(self, zu, launch, kwargs, message):
        with pytest.raises(TypeError) as excinfo:
            zu.exec_mtraceroute("", 5, **kwargs)
        assert str(excinfo.value) == message
        assert launch() == []

    def test_settings_members_are_not_exact_ints(self, zu, launch):
        with pytest.raises(TypeError, match=r"expected int, got TraceRouteSettings"):
            zu.exec_mtraceroute("1", "d", max_ttl=zu.TraceRouteSettings.max_ttl)
        zu.exec_mtraceroute("1", "d", max_ttl=int(zu.TraceRouteSettings.max_ttl))
        assert launch()[-1][3] == 64

    @pytest.mark.parametrize("r_file", ["", None, 0, b"", bytearray()])
    def test_empty_result_file_wins_before_any_conversion(self, zu, launch, r_file):
        with pytest.raises(ValueError, match="^r_file is empty$") as excinfo:
            zu.exec_mtraceroute(r_file, object(), 2**40, "not an int")
        assert type(excinfo.value) is ValueError
        assert launch() == []

    def test_value_error_is_the_builtin_fixed_at_import(self, zu, launch):
        zu.ValueError = KeyError
        with pytest.raises(ValueError):
            zu.exec_mtraceroute("", "d")

    @pytest.mark.parametrize("flow_id, passed", [
        (7.9, 7), (-7.9, -7), (True, 1), (False, 0), (MyInt(9), 9), (IntLike(12), 12),
        (IntLike(-2**31), -2**31),
    ])
    def test_flow_id_conversions(self, zu, launch, flow_id, passed):
        zu.exec_mtraceroute("1", "d", flow_id=flow_id)
        assert launch()[-1][2] == passed

    @pytest.mark.parametrize("flow_id, error, message", [
        ("5", TypeError, "^an integer is required$"),
        (None, TypeError, "^an integer is required$"),
        (IntLike("5"), TypeError, r"^__int__ returned non-int \(type str\)$"),
        (IntLike(5.0), TypeError, r"^__int__ returned non-int \(type float\)$"),
        (IntLike(ValueError("nope")), ValueError, "^nope$"),
        (float("nan"), ValueError, "NaN"),
        (float("inf"), OverflowError, None),
        (IntLike(2**31), OverflowError, None),
        (2.0**31, OverflowError, None),
    ])
    def test_flow_id_refused(self, zu, launch, flow_id, error, message):
        with pytest.raises(error, match=message):
            zu.exec_mtraceroute("1", "d", flow_id=flow_id)
        assert launch() == []

    def test_int_subclass_from_int_is_accepted_with_a_warning(self, zu, launch):
        with pytest.warns(DeprecationWarning) as record:
            zu.exec_mtraceroute("1", "d", flow_id=IntLike(True))
        assert str(record[0].message) == (
            "__int__ returned non-int (type bool).  The ability to return an instance of a "
            "strict subclass of int is deprecated, and may be removed in a future version of "
            "Python.")
        assert launch()[-1][2] == 1

    @pytest.mark.parametrize("kwargs, error", [
        (dict(confidence=2**31), OverflowError),
        (dict(confidence=-2**31 - 1), OverflowError),
        (dict(max_ttl=2**31), OverflowError),
        (dict(confidence=2**31, flow_id="x"), OverflowError),  # confidence first
        (dict(flow_id="x", max_ttl=2**31), TypeError),  # then flow_id
        (dict(max_ttl=2**64), OverflowError),
    ])
    def test_conversion_order_and_range(self, zu, launch, kwargs, error):
        with pytest.raises(error):
            zu.exec_mtraceroute("1", "d", **kwargs)
        assert launch() == []

    @pytest.mark.parametrize("dst, sent", [
        ("239.1.1.1", b"239.1.1.1"),
        ("m\u00fcnchen", "m\u00fcnchen".encode()),
        (b"\xff\xfe", b"\xff\xfe"),
        (bytearray(b"ba"), b"ba"),
        ("a" * 127, b"a" * 127),
        ("a" * 128, b"a" * 127),
        (b"b" * 300, b"b" * 127),
        ("\u00e9" * 64, "\u00e9".encode() * 63 + b"\xc3"),
        (b"cut\x00here", b"cut"),
    ])
    def test_texts_reach_the_platform_terminated(self, zu, launch, dst, sent):
        zu.exec_mtraceroute(dst, dst)
        assert launch() == [(sent, 90, 5, 30, sent)]

    @pytest.mark.parametrize("r_file, dst", [("1", 5), ("1", None), (5, "d")])
    def test_values_without_bytes_are_refused(self, zu, launch, r_file, dst):
        with pytest.raises(TypeError):
            zu.exec_mtraceroute(r_file, dst)
        assert launch() == []

    def test_bytes_and_charset_are_looked_up_at_each_call(self, zu, launch):
        seen = []

        def encode(value, *rest):
            seen.append((value, rest))
            return value.encode(*rest)

        zu.bytes_ = encode
        zu._CHARSET = "latin-1"
        zu.exec_mtraceroute("\u00e9", "\u00fc")
        assert seen == [("\u00fc", ("latin-1",)), ("\u00e9", ("latin-1",))]
        assert launch() == [(b"\xfc", 90, 5, 30, b"\xe9")]
        del zu._CHARSET
        with pytest.raises(NameError, match="^name '_CHARSET' is not defined$"):
            zu.exec_mtraceroute("1", "d")

    def test_buffers_are_freed_on_every_path(self, python):
        """Allocation failures raise MemoryError before the platform; no path
        leaves a block behind (counted over many calls)."""
        proc = python("""
            import sys, _testcapi, zel_sim
            import zel.zel_util as zu
            zel_sim.reset()
            zel_sim.script("api_mtraceroute", result=0)
            def failing(start):
                _testcapi.set_nomemory(start, start + 1)
                try:
                    zu.exec_mtraceroute("1", "d")
                except MemoryError:
                    return "MemoryError"
                finally:
                    _testcapi.remove_mem_hooks()
                return "ok"
            print(failing(0), failing(1), len(zel_sim.calls("api_mtraceroute")))
            def leaked(action, n=2000):
                for _ in range(50):
                    action()
                before = sys.getallocatedblocks()
                for _ in range(n):
                    action()
                return sys.getallocatedblocks() - before < n // 4
            def bad_dst():
                try:
                    zu.exec_mtraceroute("1", 5)
                except TypeError:
                    pass
            print(leaked(lambda: failing(1), 500), leaked(bad_dst),
                  leaked(lambda: zu.exec_mtraceroute("1", "d" * 200)))
        """)
        assert proc.stdout.split() == ["MemoryError", "MemoryError", "0", "True", "True", "True"]


# ---- get_diagnostic_data --------------------------------------------------------------


def one_probe(zu, status, code, time=12.25, reply_mtu=1500):
    script_trace(hop(probes=[(status, code, time)], result=1), reply_mtu=reply_mtu)
    context = {}
    zu.get_diagnostic_data(context, "target")
    return context["routes"][0]["time1"]


@pytest.fixture
def pauses(zu):
    """Records the module-level sleep instead of sleeping."""
    log = []
    zu.sleep = log.append
    return log


def freed_once():
    return (len(zel_sim.calls("free_trace_route")) == 1 and zel_sim.open_trace_contexts() == 0
            and zel_sim.errors() == [])


class HopWatch:
    """A trace through every Python hook of the walk: text_, the codes' get, a
    note's __format__, the context's item assignment and sleep. Each hook
    copies the routes the caller can see at that moment into `seen`; the hook
    numbered `fail_at` (from 1) raises Failure."""

    class Failure(Exception):
        pass

    def __init__(self, zu, fail_at=0):
        self.fail_at, self.seen = fail_at, []
        watch = self

        class Context(dict):
            def __setitem__(self, key, value):
                watch.hook(f"context[{key!r}] = ...")
                super().__setitem__(key, value)

        class Note(str):
            def __format__(self, spec):
                watch.hook("note.__format__")
                return str(self)

        class Codes(dict):
            def get(self, code, default=None):
                watch.hook("ICMP_CODES_FOR_CHARACTERS.get")
                return Note(super().get(code, default))

        self.context = Context()
        zu.ICMP_CODES_FOR_CHARACTERS = Codes(zu.ICMP_CODES_FOR_CHARACTERS)
        zu.text_ = lambda raw: self.hook("text_") or raw.decode("latin-1")
        zu.sleep = lambda seconds: self.hook("sleep")

    def hook(self, name):
        routes = dict.get(self.context, "routes", [])
        self.seen.append((name, [dict(h) for h in routes]))
        if len(self.seen) == self.fail_at:
            raise self.Failure(name)


class TestDiagnosticData:
    def test_header_and_key_orders(self, zu, pauses):
        script_trace(hop(ttl=7, ip="198.51.100.1", host="r1", result=1,
                         probes=[(1, -1, 0.5), (2, 0, 0.0), (0, 0, 3.0)]),
                     header=records.trace_header("ns.example", "192.0.2.53", 30, 3, 5, 60))
        context = {}
        assert zu.get_diagnostic_data(context, "ns.example") is None
        assert list(context) == ["result", "routingTable", "traceRouteHeader", "routes"]
        assert context["result"] == 1
        assert list(context["traceRouteHeader"].items()) == [
            ("hostName", "ns.example"), ("ipAddress", "192.0.2.53"), ("hops", 30),
            ("probes", 3), ("timeout", 5), ("packageSize", 60)]
        assert [list(h.items()) for h in context["routes"]] == [[
            ("ttl", 7), ("ipAddress", "198.51.100.1"), ("hostName", "r1"),
            ("time1", "0.500"), ("time2", "sent fail"), ("time3", None)]]
        assert pauses == []
        assert freed_once()

    def test_defaults_and_arguments_reach_the_platform(self, zu, zel_sim):
        script_trace(hop(result=1))
        zu.get_diagnostic_data({}, "h")
        zu.get_diagnostic_data({}, b"h", 1, -2, timeout=2**31 - 1)
        assert [c.args for c in zel_sim.calls("init_trace_route")] == [
            (b"h", 32, 3, 15), (b"h", 1, -2, 2**31 - 1)]

    @pytest.mark.parametrize("kwargs, error", [
        (dict(ttl=True), "Argument 'ttl' has incorrect type (expected int, got bool)"),
        (dict(probes=3.0), "Argument 'probes' has incorrect type (expected int, got float)"),
        (dict(ttl=1, timeout="5"), "Argument 'timeout' has incorrect type "
                                   "(expected int, got str)"),
    ])
    def test_exact_ints(self, zu, zel_sim, kwargs, error):
        with pytest.raises(TypeError) as excinfo:
            zu.get_diagnostic_data({}, "h", **kwargs)
        assert str(excinfo.value) == error
        assert zel_sim.calls() == []

    def test_settings_member_is_refused_its_int_accepted(self, zu, zel_sim):
        with pytest.raises(TypeError, match="got TraceRouteSettings"):
            zu.get_diagnostic_data({}, "h", ttl=zu.TraceRouteSettings.ttl)
        script_trace(hop(result=1))
        zu.get_diagnostic_data({}, "h", ttl=int(zu.TraceRouteSettings.max_ttl))
        assert zel_sim.calls("init_trace_route")[0].args[1] == 64

    @pytest.mark.parametrize("ip_host, sent", [
        ("h" * 63, b"h" * 63),
        ("h" * 64, b"h" * 63),
        (b"x" * 500, b"x" * 63),
        (bytearray(b"ba"), b"ba"),
        ("\u00fcber", b"\xfcber"),
        (b"cut\x00here", b"cut"),
    ])
    def test_host_is_bounded(self, zu, zel_sim, ip_host, sent):
        script_trace(hop(result=1))
        zu.get_diagnostic_data({}, ip_host)
        assert zel_sim.calls("init_trace_route")[0].args[0] == sent

    @pytest.mark.parametrize("kwargs, ip_host, error", [
        ({}, 5, TypeError),
        ({}, None, TypeError),
        ({}, "\u20ac", UnicodeEncodeError),
        (dict(probes=2**31), "h", OverflowError),
    ])
    def test_refused_before_the_platform(self, zu, zel_sim, kwargs, ip_host, error):
        context = {}
        with pytest.raises(error):
            zu.get_diagnostic_data(context, ip_host, **kwargs)
        assert zel_sim.calls() == [] and context == {}

    def test_init_failure(self, zu, zel_sim):
        script_trace(init_result=0)
        context = {"result": 5, "other": 1}
        assert zu.get_diagnostic_data(context, "h") is None
        assert context == {"result": -1, "other": 1}
        assert zel_sim.calls("query_trace_route") == zel_sim.calls("free_trace_route") == []

    def test_other_keys_are_kept(self, zu):
        script_trace(hop(result=1))
        context = {"mine": "x", "result": "old", "routes": "old"}
        zu.get_diagnostic_data(context, "h")
        assert list(context) == ["mine", "result", "routes", "routingTable", "traceRouteHeader"]
        assert context["mine"] == "x" and context["result"] == 1
        assert len(context["routes"]) == 1

    def test_hops_results_and_pauses(self, zu, zel_sim):
        seen = []

        def pause(seconds):
            routes = context["routes"]
            seen.append((seconds, type(seconds), len(routes), context["result"], routes))

        zu.sleep = pause
        script_trace(hop(1, result=0), hop(2, result=7), hop(3, result=1))
        context = {}
        zu.get_diagnostic_data(context, "h")
        routes = context["routes"]
        assert [(s, t, n, r) for s, t, n, r, _ in seen] == [
            (0.2, float, 1, 0), (0.2, float, 2, 7)]
        assert all(r is routes for *_, r in seen)  # one list, grown in place
        assert [h["ttl"] for h in routes] == [1, 2, 3]
        assert context["result"] == 1
        assert len(zel_sim.calls("query_trace_route")) == 3 and freed_once()

    @pytest.mark.parametrize("probe_count, keys", [
        (0, []), (-1, []), (-2**31, []), (2, ["time1", "time2"]),
        (5, ["time1", "time2", "time3", "time4", "time5"]),
        (7, ["time1", "time2", "time3", "time4", "time5"]),
        (2**31 - 1, ["time1", "time2", "time3", "time4", "time5"]),
    ])
    def test_probe_count_is_bounded_by_the_five_entries(self, zu, probe_count, keys):
        probes = [(1, -1, float(i)) for i in range(5)]
        script_trace(hop(probes=probes, probe_count=probe_count, result=1))
        context = {}
        zu.get_diagnostic_data(context, "h")
        route = context["routes"][0]
        assert list(route)[3:] == keys
        assert [route[k] for k in keys] == [f"{i}.000" for i in range(len(keys))]

    @pytest.mark.parametrize("status, code, value", [
        (1, -1, "12.250"),
        (1, 1, "12.250 !H"),
        (1, 0, "12.250 !N"),
        (1, 2, "12.250 !N"),
        (1, 3, "12.250 !"),
        (1, 5, "12.250 !S-1500"),
        (1, -2, "12.250 !<-2>"),
        (1, 7, "12.250 -2"),
        (1, 13, "12.250 !X"),
        (2, -1, "sent fail"),
        (2, 5, "sent fail"),
        (0, -1, None),
        (3, 1, None),
        (-1, -1, None),
    ])
    def test_probe_values(self, zu, status, code, value):
        assert one_probe(zu, status, code) == value

    @pytest.mark.parametrize("time, text", [
        (0.5, "0.500"), (0.0025, "0.002"), (-1.0, "-1.000"), (1e9, "1000000000.000"),
        (float("inf"), "inf"),
    ])
    def test_time_is_single_precision_widened_exactly(self, zu, time, text):
        assert one_probe(zu, 1, -1, time) == text

    @pytest.mark.parametrize("reply_mtu, value", [(1500, "1.000 !S-1500"),
                                                  (-1, "1.000 !S--1"),
                                                  (2**31 - 1, "1.000 !S-2147483647")])
    def test_reply_mtu_comes_from_the_context(self, zu, reply_mtu, value):
        assert one_probe(zu, 1, 5, 1.0, reply_mtu) == value

    def test_codes_table_is_looked_up_at_each_use(self, zu):
        zu.ICMP_CODES_FOR_CHARACTERS = {7: "!Q", -2: "!U"}
        assert one_probe(zu, 1, 7) == "12.250 !Q"
        assert one_probe(zu, 1, 5) == "12.250 -2-1500"
        assert one_probe(zu, 1, -2) == "12.250 !U<-2>"
        zel_sim.clear_calls()
        del zu.ICMP_CODES_FOR_CHARACTERS
        assert one_probe(zu, 1, -1) == "12.250"
        with pytest.raises(NameError, match="ICMP_CODES_FOR_CHARACTERS"):
            one_probe(zu, 1, 1)
        assert len(zel_sim.calls("free_trace_route")) == 2 and zel_sim.open_trace_contexts() == 0

    def test_texts_never_read_past_their_fields(self, zu):
        header = records.trace_header("H" * 64, "1" * 32, 30, 3, 5, 60)
        script_trace(hop(ip="2" * 32, host="h" * 64, result=1), header=header)
        context = {}
        zu.get_diagnostic_data(context, "h")
        assert context["traceRouteHeader"]["hostName"] == "H" * 64
        assert context["traceRouteHeader"]["ipAddress"] == "1" * 32
        assert context["routes"][0]["ipAddress"] == "2" * 32
        assert context["routes"][0]["hostName"] == "h" * 64

    def test_text_and_routing_table_are_looked_up_at_each_call(self, zu):
        asked = []
        zu.text_ = lambda raw: ("text", raw)
        zu.get_routing_table_result = lambda address: asked.append(address) or "table"
        script_trace(hop(ip="10.1.1.1", host="\xe9", result=1),
                     header=records.trace_header("n", "192.0.2.1"))
        context = {}
        zu.get_diagnostic_data(context, "h")
        header = context["traceRouteHeader"]
        assert asked == [("text", b"192.0.2.1")] and context["routingTable"] == "table"
        assert header["ipAddress"] is asked[0]
        assert header["hostName"] == ("text", b"n")
        assert context["routes"][0]["hostName"] == ("text", b"\xe9")

    # -- exceptions: the trace context is freed exactly once ---------------------------

    class NoSetItem:
        pass

    class RefusesKey(dict):
        def __init__(self, key):
            super().__init__()
            self.key = key

        def __setitem__(self, key, value):
            if key == self.key:
                raise LookupError(key)
            super().__setitem__(key, value)

    @pytest.mark.parametrize("context, error, left", [
        (NoSetItem(), TypeError, None),
        (RefusesKey("result"), LookupError, {}),
        (RefusesKey("routingTable"), LookupError, {"result": 0}),
        (RefusesKey("routes"), LookupError, {"result": 0, "routingTable": "table",
                                             "traceRouteHeader": ...}),
    ])
    def test_context_refusing_a_key(self, zu, pauses, context, error, left):
        zu.get_routing_table_result = lambda address: "table"
        script_trace(hop(result=1))
        with pytest.raises(error) as excinfo:
            zu.get_diagnostic_data(context, "h")
        assert "zel.zel_util.get_diagnostic_data" in traceback_names(excinfo)
        if left is not None:
            assert list(context) == list(left)
        assert freed_once()

    def test_context_without_item_assignment_when_init_fails(self, zu, zel_sim):
        script_trace(init_result=0)
        with pytest.raises(TypeError):
            zu.get_diagnostic_data(self.NoSetItem(), "h")
        assert zel_sim.calls("free_trace_route") == []

    def test_routing_table_error(self, zu):
        def broken(address):
            raise RuntimeError("no table")

        zu.get_routing_table_result = broken
        script_trace(hop(result=1))
        context = {}
        with pytest.raises(RuntimeError, match="no table"):
            zu.get_diagnostic_data(context, "h")
        assert context == {"result": 0}
        assert freed_once()

    @pytest.mark.parametrize("failing_call, routes", [
        (1, None), (2, None), (3, []), (5, [1]), (8, [1, 2])])
    def test_text_error_at_any_point(self, zu, pauses, failing_call, routes):
        """text_ runs 1 (header address), 2 (header name), then 2 per hop."""
        calls = []

        def text(raw):
            calls.append(raw)
            if len(calls) == failing_call:
                raise UnicodeError("bad text")
            return raw.decode("latin-1")

        zu.text_ = text
        script_trace(hop(1), hop(2), hop(3), hop(4, result=1))
        context = {}
        with pytest.raises(UnicodeError):
            zu.get_diagnostic_data(context, "h")
        assert [h["ttl"] for h in context.get("routes", [])] == (routes or [])
        assert ("routes" in context) == (routes is not None)
        assert freed_once()

    def test_the_caller_sees_only_whole_hops(self, zu, zel_sim):
        """Whenever Python code runs during a trace, in a hook or after any one
        of them failed, each hop in routes is whole."""
        probes = [(1, 0, 1.0), (1, 5, 2.0), (2, 0, 0.0)]  # two looked-up notes, a failure
        script_trace(*[hop(ttl, probes=probes, result=int(ttl == 3)) for ttl in (1, 2, 3)])
        clean = HopWatch(zu)
        zu.get_diagnostic_data(clean.context, "h")
        whole = clean.context["routes"]
        assert [list(h)[3:] for h in whole] == [["time1", "time2", "time3"]] * 3
        for name, routes in clean.seen:
            assert routes == whole[:len(routes)], f"{name} saw a hop before it was whole"
        for fail_at, (name, _) in enumerate(clean.seen, 1):
            failing = HopWatch(zu, fail_at)
            with pytest.raises(HopWatch.Failure):
                zu.get_diagnostic_data(failing.context, "h")
            routes = failing.context.get("routes", [])
            assert routes == whole[:len(routes)], f"a failed {name} left a hop half made"
        assert len(zel_sim.calls("free_trace_route")) == len(clean.seen) + 1
        assert zel_sim.open_trace_contexts() == 0 and zel_sim.errors() == []

    @pytest.mark.parametrize("name", ["sleep", "get_routing_table_result", "text_"])
    def test_missing_name(self, zu, name):
        delattr(zu, name)
        script_trace(hop(result=0), hop(result=1))
        with pytest.raises(NameError, match=f"^name '{name}' is not defined$"):
            zu.get_diagnostic_data({}, "h")
        assert freed_once()


# ---- the interpreter lock around the platform calls --------------------------------------


def marker_during(fn, action):
    """Runs action() on this thread while another thread waits for the
    platform call fn to be logged and then makes a platform call of its own
    (is_diag_debug_enabled, through the module). Returns the call log.

    A call made by the other thread can only be logged while action()'s
    platform call blocks if the interpreter lock was released around it:
    nothing between that call and the next logged one runs Python code."""
    import zel.zel_util as zu

    def watch():
        deadline = time.monotonic() + 30  # a broken action must not hang the suite
        while not zel_sim.calls(fn) and time.monotonic() < deadline:
            pass
        zu.get_diag_debug_status()

    watcher = threading.Thread(target=watch)
    watcher.start()
    try:
        action()
    finally:
        watcher.join()
    return [c.fn for c in zel_sim.calls()]


@pytest.fixture
def c_level_helpers(zu):
    """Module-level helpers that run no Python code of their own, so that no
    thread switch can happen between two platform calls."""
    zu.bytes_ = str.encode
    zu.text_ = functools.partial(str, encoding="latin-1")
    zu.get_routing_table_result = str.upper
    zu.sleep = id


class TestInterpreterLock:
    def test_released_around_the_launch(self, zu, zel_sim, c_level_helpers):
        zel_sim.script("api_mtraceroute", Step(0, delay=0.5), Step(1))
        log = marker_during("api_mtraceroute",
                            lambda: list(map(zu.exec_mtraceroute, ["1", "2"], ["d", "d"])))
        assert log == ["api_mtraceroute", "is_diag_debug_enabled", "api_mtraceroute"]

    def test_released_around_init(self, zu, zel_sim, c_level_helpers):
        script_trace(hop(result=1), init_delay=0.5)
        log = marker_during("init_trace_route", lambda: zu.get_diagnostic_data({}, "h"))
        assert log == ["init_trace_route", "is_diag_debug_enabled", "query_trace_route",
                       "free_trace_route"]

    def test_released_around_each_query(self, zu, zel_sim, c_level_helpers):
        script_trace(hop(1, result=1, delay=0.5))
        log = marker_during("query_trace_route", lambda: zu.get_diagnostic_data({}, "h"))
        assert log == ["init_trace_route", "query_trace_route", "is_diag_debug_enabled",
                       "free_trace_route"]

    def test_concurrent_traces_each_walk_the_whole_route(self, zu, zel_sim):
        script_trace(*[hop(i, result=int(i == 3), delay=0.05) for i in range(1, 4)])
        contexts = [{} for _ in range(4)]
        threads = [threading.Thread(target=zu.get_diagnostic_data, args=(c, "h"))
                   for c in contexts]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        assert [[h["ttl"] for h in c["routes"]] for c in contexts] == [[1, 2, 3]] * 4
        assert len(zel_sim.calls("free_trace_route")) == 4
        assert zel_sim.open_trace_contexts() == 0 and zel_sim.errors() == []


def traceback_names(excinfo):
    return [frame.name for frame in traceback.extract_tb(excinfo.value.__traceback__)]
