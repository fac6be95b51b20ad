"""Port traffic counters, the sticky MAC flush and the hostname change."""

import gc
import os
import sys
import traceback
import warnings

import pytest
import zel_sim
from zel_sim import records
from zel_sim.testing import counter_tree

import zel.zel

COUNTERS = ("tx_packets", "tx_bytes", "rx_packets", "rx_bytes")
WHERE = "zel.zel_util.system_port_stat"
U64_MAX = 2**64 - 1


def traceback_names(tb):
    return [frame.name for frame in traceback.extract_tb(tb)]


def open_fds():
    return len(os.listdir("/proc/self/fd"))


# ---- port traffic counters -------------------------------------------------------------

@pytest.fixture
def stats(tmp_path):
    """A statistics tree in a temporary directory; port(name, **files) writes
    one port's counter files (bytes or str contents, None: no file)."""
    with counter_tree(tmp_path) as port:
        yield port


def counters(tx_packets="10\n", tx_bytes="20\n", rx_packets="30\n", rx_bytes="40\n"):
    return dict(tx_packets=tx_packets, tx_bytes=tx_bytes, rx_packets=rx_packets,
                rx_bytes=rx_bytes)


class TestSystemPortTraffic:
    def test_four_counters_in_order(self, zu, stats, reports, capfd):
        stats(**counters())
        result = zu.system_port_traffic("eth0")
        assert type(result) is zu.SystemPortStats
        assert result == (10, 20, 30, 40)
        assert result._asdict() == dict(tx_packets=10, tx_bytes=20, rx_packets=30, rx_bytes=40)
        assert reports == [] and capfd.readouterr().err == ""

    def test_named_tuple_type(self, zu):
        assert zu.SystemPortStats.__name__ == "SystemPortStats"
        assert zu.SystemPortStats._fields == COUNTERS
        assert zu.SystemPortStats._field_defaults == {}
        assert zu.SystemPortStats.__module__ == "zel.zel_util"
        stats = zu.system_port_traffic("lo")
        assert __import__("pickle").loads(__import__("pickle").dumps(stats)) == stats

    @pytest.mark.parametrize("content, value", [
        ("18446744073709551615\n", U64_MAX),
        ("0\n", 0),
        ("7\n8\n", 7),
        ("  42 \t\n", 42),
        ("+5", 5),
        ("-0\n", 0),
        ("123", 123),
    ])
    def test_readable_counter(self, zu, stats, reports, content, value):
        stats(**counters(tx_bytes=content))
        assert zu.system_port_traffic("eth0") == (10, value, 30, 40)
        assert reports == []

    @pytest.mark.parametrize("content, error, message", [
        ("18446744073709551616\n", OverflowError, "int too big to convert"),
        ("-1\n", OverflowError, "can't convert negative value to unsigned PY_LONG_LONG"),
        ("", ValueError, "invalid literal for int() with base 10: ''"),
        ("\n5\n", ValueError, "invalid literal for int() with base 10: ''"),
        ("12 packets\n", ValueError, "invalid literal for int() with base 10: '12 packets'"),
        (b"\xff\xfe\n", UnicodeDecodeError, None),
        (None, FileNotFoundError, None),
    ])
    def test_unreadable_counter_is_zero_and_reported(self, zu, stats, reports, content, error,
                                                     message):
        stats(**counters(tx_bytes=content))
        assert zu.system_port_traffic("eth0") == (10, 0, 30, 40)
        [(where, exc)] = reports
        assert where == WHERE and type(where) is str
        assert type(exc) is error
        if message is not None:
            assert str(exc) == message
        assert WHERE in traceback_names(exc.__traceback__)

    def test_report_is_printed_then_passed_to_the_hook(self, zu, stats, monkeypatch, capfd):
        stats(**counters(rx_packets="-1\n"))
        monkeypatch.delattr(sys, "last_exc", raising=False)
        printed = []
        monkeypatch.setattr(sys, "unraisablehook", lambda u: printed.append(
            (capfd.readouterr().err, u.object, u.exc_type, u.exc_value, u.exc_traceback)))
        assert zu.system_port_traffic("eth0") == (10, 20, 0, 40)
        [(err, where, exc_type, exc, tb)] = printed
        assert err.startswith("Traceback (most recent call last):\n")
        assert WHERE in err
        assert err.endswith(
            "OverflowError: can't convert negative value to unsigned PY_LONG_LONG\n")
        assert (where, exc_type, tb) == (WHERE, OverflowError, exc.__traceback__)
        assert capfd.readouterr().err == ""
        assert not hasattr(sys, "last_exc")  # the call carried on: nothing was left unhandled

    def test_every_missing_counter_is_reported(self, zu, stats, reports):
        stats()
        assert zu.system_port_traffic("eth0") == (0, 0, 0, 0)
        paths = [exc.filename for _, exc in reports]
        assert [os.path.basename(p) for p in paths] == [c.encode() for c in COUNTERS]
        assert all(type(p) is bytes for p in paths)

    def test_counter_names_are_read_at_each_call(self, zu, stats, reports):
        stats(**counters(), tx_packets_alt="99\n")
        assert zu.system_port_traffic("eth0").tx_packets == 10
        zel.zel.set_counter_file("SYS_CLASS_NET_STATS_TX_PKTS", "tx_packets_alt")
        assert zu.system_port_traffic("eth0") == (99, 20, 30, 40)
        zel.zel.set_counter_file("SYS_CLASS_NET_STATS_RX_BYTES", "no_such_counter")
        assert zu.system_port_traffic("eth0") == (99, 20, 30, 0)
        assert len(reports) == 1

    @pytest.mark.parametrize("name", [
        "p\xf6rt", b"p\xf6rt", bytearray(b"p\xf6rt"), b"p\xf6rt\x00x",
    ])
    def test_name_types(self, zu, stats, reports, name):
        stats(b"p\xf6rt", **counters())  # str names are Latin-1, not UTF-8
        assert zu.system_port_traffic(name) == (10, 20, 30, 40)
        assert zu.system_port_traffic(name=name) == (10, 20, 30, 40)
        assert reports == []

    @pytest.mark.parametrize("name, error", [
        (None, TypeError), (7, TypeError), (["eth0"], TypeError),
        ("\u0100", UnicodeEncodeError),
    ])
    def test_bad_name_reads_no_file(self, zu, stats, reports, name, error):
        with pytest.raises(error) as excinfo:
            zu.system_port_traffic(name)
        assert reports == []  # no counter file of the empty tree was tried
        assert "zel.zel_util.system_port_traffic" in traceback_names(excinfo.value.__traceback__)

    def test_named_tuple_is_looked_up_at_each_call(self, zu, stats):
        stats(**counters())
        zu.SystemPortStats = lambda *values: values
        assert zu.system_port_traffic(b"eth0") == (10, 20, 30, 40)
        del zu.SystemPortStats
        with pytest.raises(NameError, match="^name 'SystemPortStats' is not defined$"):
            zu.system_port_traffic(b"eth0")

    def test_files_are_closed_on_every_path(self, zu, stats, reports):
        stats(**counters(tx_bytes="-1\n", rx_packets=b"\xff\n", rx_bytes=""))
        zu.system_port_traffic("eth0")  # warm up: nothing opened stays open
        before = open_fds()
        for _ in range(50):
            assert zu.system_port_traffic("eth0") == (10, 0, 0, 0)
        assert open_fds() == before
        assert len(reports) == 51 * 3

    @pytest.mark.parametrize("tx_bytes", ["20\n", "-1\n", "", b"\xff\n", None])
    def test_files_are_closed_not_left_to_the_collector(self, zu, stats, reports, tx_bytes):
        stats(**counters(tx_bytes=tx_bytes))
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            zu.system_port_traffic("eth0")
            gc.collect()
        assert [w for w in caught if issubclass(w.category, ResourceWarning)] == []

    def test_with_statement_protocol(self, python):
        # open is fixed when the module loads: a stand-in bound before the
        # import shows what the counter reader does with the context manager.
        python("""
            import builtins, os, sys
            log, reports = [], []

            class CounterFile:
                def __init__(self, path, mode, *, opener):
                    self.stat = os.path.basename(path).decode()
                    log.append(("open", type(path), mode))
                def __enter__(self):
                    log.append(("enter", self.stat))
                    return self
                def readline(self, size):
                    assert size == 65, size  # one line, bounded
                    if self.stat != "tx_packets":
                        raise ValueError(self.stat)
                    return " 5 \\n"
                def __exit__(self, exc_type, exc, tb):
                    log.append(("exit", self.stat, exc_type, exc and exc.args,
                                tb is (exc and exc.__traceback__)))
                    if self.stat == "rx_packets":
                        return True
                    if self.stat == "rx_bytes":
                        raise RuntimeError("close failed")
                    return None

            real_open, builtins.open = builtins.open, CounterFile
            import zel.zel_util as zu
            builtins.open = real_open
            sys.unraisablehook = lambda u: reports.append(u.exc_value)
            sys.stderr = open(os.devnull, "w")

            assert zu.system_port_traffic("eth0") == (5, 0, 0, 0)
            assert log == [
                ("open", bytes, "r"), ("enter", "tx_packets"),
                ("exit", "tx_packets", None, None, True),
                ("open", bytes, "r"), ("enter", "tx_bytes"),
                ("exit", "tx_bytes", ValueError, ("tx_bytes",), True),
                ("open", bytes, "r"), ("enter", "rx_packets"),
                ("exit", "rx_packets", ValueError, ("rx_packets",), True),
                ("open", bytes, "r"), ("enter", "rx_bytes"),
                ("exit", "rx_bytes", ValueError, ("rx_bytes",), True),
            ], log
            # A suppressed error is no error; one raised by __exit__ is
            # reported in the context of the one it was handling.
            tx_bytes, rx_bytes = reports
            assert repr(tx_bytes) == "ValueError('tx_bytes')"
            assert repr(rx_bytes) == "RuntimeError('close failed')"
            assert repr(rx_bytes.__context__) == "ValueError('rx_bytes')"
        """)

    @pytest.mark.skipif(not os.path.exists("/sys/class/net/lo/statistics/rx_bytes"),
                        reason="no kernel statistics for lo")
    def test_live_counters_of_loopback(self, zu, reports):
        first = zu.system_port_traffic("lo")
        second = zu.system_port_traffic("lo")
        assert all(type(v) is int and 0 <= v <= U64_MAX for v in first)
        assert all(b >= a for a, b in zip(first, second))
        assert reports == []


# ---- sticky MAC flush ------------------------------------------------------------------

def flush_calls():
    return [c for c in zel_sim.calls()
            if c.fn in ("plat_switch_get_data_channel_unit", "sms_do_flush")]


class TestDeleteStickyMacUnsaved:
    @pytest.mark.parametrize("args, kwargs", [((), {}), ((None,), {}), ((), {"name": None})])
    def test_no_name_is_a_null_pointer(self, zu, zel_sim, args, kwargs):
        zel_sim.script("plat_switch_get_data_channel_unit", result=3)
        assert zu.delete_sticky_mac_unsaved(*args, **kwargs) == 0
        assert flush_calls() == [("plat_switch_get_data_channel_unit", ()),
                                 ("sms_do_flush", (3, None))]

    @pytest.mark.parametrize("name, sent", [
        ("", b""), (b"", b""), (bytearray(), b""),
        ("gi1/0/1", b"gi1/0/1"), (bytearray(b"gi1/0/2"), b"gi1/0/2"),
        ("p\xf6rt", b"p\xf6rt"), (b"gi1\x00/0/3", b"gi1"),
    ])
    def test_named_interface(self, zu, zel_sim, name, sent):
        assert zu.delete_sticky_mac_unsaved(name) == 0
        assert zel_sim.calls("sms_do_flush") == [("sms_do_flush", (0, sent))]

    @pytest.mark.parametrize("status", [-1, 1, 2**31 - 1, -2**31])
    def test_status_is_returned_unchanged(self, zu, zel_sim, status):
        zel_sim.script("sms_do_flush", result=status)
        assert zu.delete_sticky_mac_unsaved("gi1/0/1") == status
        assert zu.delete_sticky_mac_unsaved() == status

    @pytest.mark.parametrize("name, error", [
        (0, TypeError), (False, TypeError), (object(), TypeError),
        ("\u20ac", UnicodeEncodeError),
    ])
    def test_bad_name_after_the_unit_is_fetched(self, zu, zel_sim, name, error):
        with pytest.raises(error) as excinfo:
            zu.delete_sticky_mac_unsaved(name)
        assert flush_calls() == [("plat_switch_get_data_channel_unit", ())]
        assert "zel.zel_util.delete_sticky_mac_unsaved" in traceback_names(
            excinfo.value.__traceback__)

    def test_argument_errors_call_nothing(self, zu, zel_sim):
        with pytest.raises(TypeError, match=r"^delete_sticky_mac_unsaved\(\) takes at most 1 "
                           r"positional argument \(2 given\)$"):
            zu.delete_sticky_mac_unsaved("a", "b")
        assert flush_calls() == []
        assert zu.delete_sticky_mac_unsaved.__defaults__ == (None,)

    def test_bytes_is_looked_up_at_each_call(self, zu, zel_sim):
        zu.bytes_ = lambda value: bytearray(b"gi1/0/4")
        zu.delete_sticky_mac_unsaved("x")
        zu.bytes_ = lambda value: "not bytes"
        with pytest.raises(TypeError):
            zu.delete_sticky_mac_unsaved("x")
        assert [c.args for c in zel_sim.calls("sms_do_flush")] == [(0, b"gi1/0/4")]
        assert len(zel_sim.calls("plat_switch_get_data_channel_unit")) == 2


# ---- hostname change -------------------------------------------------------------------

def committed_record():
    [change] = zel_sim.calls("nCfg_obj_change")
    assert change.args[0] == 11
    return change.args[1]


class TestSetHostname:
    @pytest.mark.parametrize("hostname, stored", [
        ("lab-sw", b"lab-sw"),
        ("", b""),
        (b"", b""),
        ("a" * 35, b"a" * 35),
        ("b" * 36, b"b" * 35),
        (b"c" * 200, b"c" * 35),
        (b"lab\x00sw", b"lab"),
        (bytearray(b"core-1"), b"core-1"),
        ("h\xf4te", b"h\xf4te"),
    ])
    def test_stored_name(self, zu, zel_sim, hostname, stored):
        assert zu.set_hostname(hostname) == 0
        assert zel_sim.hostname() == stored
        field = committed_record()[4:40]
        assert field[:len(stored) + 1] == stored + b"\x00"

    def test_call_order_and_object_number(self, zu, zel_sim):
        zu.set_hostname(hostname="core-1")
        assert [c.fn for c in zel_sim.calls()] == [
            "check_create_zel_query", "zel_query_update", "nCfg_obj_change"]
        assert [c.args[0] for c in zel_sim.calls()] == [11, 11, 11]

    @pytest.mark.parametrize("hostname, field", [
        ("abc", b"abc\x00" + b"Z" * 31 + b"\x00"),
        ("", b"\x00" + b"Z" * 34 + b"\x00"),
        ("d" * 40, b"d" * 35 + b"\x00"),
    ])
    def test_only_the_text_and_byte_39_are_written(self, zu, zel_sim, hostname, field):
        # An unterminated field between bytes of another colour.
        before = records.hostname_record(b"Z" * 36, size=64, fill=0xA5)
        zel_sim.script("zel_query_update", result=1, aux=before)
        zu.set_hostname(hostname)
        after = committed_record()
        assert after[:4] == before[:4]
        assert after[4:40] == field
        assert after[40:] == before[40:]

    def test_missing_update_record(self, zu, zel_sim):
        zel_sim.script("zel_query_update", result=0)
        assert zu.set_hostname("lab-sw") == -1
        assert [c.fn for c in zel_sim.calls()] == ["check_create_zel_query", "zel_query_update"]
        assert zel_sim.hostname() == b"zel-switch"

    @pytest.mark.parametrize("status", [-1, 1, 7, -2**31])
    def test_status_is_returned_unchanged(self, zu, zel_sim, status):
        zel_sim.script("nCfg_obj_change", result=status)
        assert zu.set_hostname("lab-sw") == status

    def test_query_creation_result_is_ignored(self, zu, zel_sim):
        zel_sim.script("check_create_zel_query", result=-3)
        assert zu.set_hostname("lab-sw") == 0
        assert zel_sim.hostname() == b"lab-sw"

    @pytest.mark.parametrize("hostname, error", [
        (None, TypeError), (35, TypeError), ("\u0142\xf3d\u017a", UnicodeEncodeError),
    ])
    def test_bad_name_calls_nothing(self, zu, zel_sim, hostname, error):
        with pytest.raises(error) as excinfo:
            zu.set_hostname(hostname)
        assert zel_sim.calls() == []
        assert "zel.zel_util.set_hostname" in traceback_names(excinfo.value.__traceback__)

    def test_bytes_is_looked_up_at_each_call(self, zu, zel_sim):
        zu.bytes_ = lambda value: b"from-bytes"
        zu.set_hostname("x")
        assert zel_sim.hostname() == b"from-bytes"
        del zu.bytes_
        with pytest.raises(NameError, match="^name 'bytes_' is not defined$"):
            zu.set_hostname("x")

    def test_arguments(self, zu, zel_sim):
        with pytest.raises(TypeError, match=r"^set_hostname\(\) takes exactly 1 positional "
                           r"argument \(0 given\)$"):
            zu.set_hostname()
        assert zel_sim.calls() == []
