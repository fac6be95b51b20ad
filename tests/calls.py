"""Representative calls of every function of the module: success paths and
error paths, each with the simulator and module state it needs.

The leak, hostile-data and concurrency checks all draw on this one table.
A case is a name, a `setup(zu, zel_sim, tmp)` that scripts the simulator and
rebinds module-level names as the case needs (it may return a function that
undoes what the `zu` fixture does not), and a `call(zu)` that makes one call
and swallows the exception the case expects (and only that one).
"""

import contextlib
import os
import sys
import types
import warnings

from zel_sim import records
from zel_sim.testing import PrivateTmp, counter_tree, script_trace
from zel_sim.testing import hops as trace_hops

from operations import NO_ARGUMENTS


class NullStream:
    """A text stream that keeps nothing (error reports of counter files)."""

    def write(self, text):
        return len(text)

    def flush(self):
        pass


def expect(exc_type, call):
    """A call that must raise exc_type."""

    def run(zu):
        try:
            call(zu)
        except exc_type:
            return
        raise AssertionError(f"{exc_type.__name__} not raised")

    return run


def nothing(zu, zel_sim, tmp):
    pass


def scripted(fn, **step):
    def setup(zu, zel_sim, tmp):
        zel_sim.script(fn, **step)
    return setup


def rebind(**names):
    def setup(zu, zel_sim, tmp):
        for name, value in names.items():
            setattr(zu, name, value)
    return setup


def raising(*args, **kwargs):
    raise RuntimeError("rebound name raises")


def counter_files(zu, zel_sim, tmp):
    files = contextlib.ExitStack()
    files.enter_context(counter_tree(tmp))("eth9", tx_packets="10", tx_bytes="x",
                                           rx_packets="-1\n", rx_bytes="18446744073709551615\n")
    return files.close


def quiet_reports(setup):
    """Counter read errors are printed and passed to sys.unraisablehook;
    both are silenced for the duration of the case."""

    def wrapped(zu, zel_sim, tmp):
        restore_files = setup(zu, zel_sim, tmp)
        saved = (sys.stderr, sys.unraisablehook)
        sys.stderr, sys.unraisablehook = NullStream(), lambda unraisable: None

        def restore():
            sys.stderr, sys.unraisablehook = saved
            restore_files()

        return restore

    return wrapped


def fast_trace(hops=3, **first):
    """A trace of `hops` hops without delays and with the pause patched out."""

    def setup(zu, zel_sim, tmp):
        probes = [(1, -1, 1.5), (1, 5, 2.25), (2, 0, 0.0), (0, 0, 0.0), (1, 7, 9.0)]
        script_trace(*trace_hops(hops, probes),
                     header=records.trace_header(b"target", b"10.9.9.9", 30, 3, 5, 60))
        zu.sleep = abs
        for name, value in first.items():
            setattr(zu, name, value)

    return setup


class ReadOnly:
    def __setitem__(self, key, value):
        raise TypeError("read-only context")


def result_files(zu, zel_sim, tmp):
    zu.os = PrivateTmp(tmp, record=False)


def take_result_file(zu):
    os.unlink(zu.os.result_file(zu.get_safe_r_file()))


class FreshInt(int):
    pass


# Conversions that may call back into Python, each hook returning a new object
# on every call: a result the module fails to release then shows as growth,
# not as a reference count.
class IntHook:
    def __init__(self, make):
        self.make = make

    def __int__(self):
        return self.make()


class IndexHook:
    def __index__(self):
        return int("7000")


class BytesHook:
    def __bytes__(self):
        return bytes(8)


class EncodesFresh(str):
    """bytes_ encodes a str subclass through its own encode."""

    def encode(self, *args):
        return bytearray(str.encode(self, *args))


class EncodesNonBytes(str):
    def encode(self, *args):
        return [args]


def warnings_as_errors(zu, zel_sim, tmp):
    zel_sim.script("api_mtraceroute", result=0)
    caught = warnings.catch_warnings()
    caught.__enter__()
    warnings.simplefilter("error", DeprecationWarning)
    return lambda: caught.__exit__(None, None, None)


PORT = "gi1/0/2"

# The default scenario's launch takes a second, as on the device.
quick_launch = scripted("api_mtraceroute", result=0)

CASES = [
    # configuration queries
    ("get_last_backup", nothing, lambda zu: zu.get_last_backup()),
    ("get_last_backup/none", scripted("backupts_GetTimeStamp", result=0),
     lambda zu: zu.get_last_backup()),
    ("get_last_backup/str-key", rebind(_KEY="sys_confroot"),
     expect(TypeError, lambda zu: zu.get_last_backup())),
    ("get_last_backup/datetime-raises", rebind(datetime=types.SimpleNamespace(
        fromtimestamp=raising)), expect(RuntimeError, lambda zu: zu.get_last_backup())),
    ("get_diag_debug_status", nothing, lambda zu: zu.get_diag_debug_status()),
    ("get_cmdb_max_buff", nothing, lambda zu: zu.get_cmdb_max_buff()),
    ("get_cmdb_max_buff/args", nothing, expect(TypeError, lambda zu: zu.get_cmdb_max_buff(1))),
    ("stp_instance_priority_default", nothing, lambda zu: zu.stp_instance_priority_default()),
    # 802.1X
    ("get_8021x_status", nothing, lambda zu: zu.get_8021x_status(PORT)),
    ("get_8021x_status/keyword", nothing, lambda zu: zu.get_8021x_status(interface_name=PORT)),
    ("get_8021x_status/failure", scripted("dump_tessel_802_1x_status", result=-1, key=PORT),
     expect(Exception, lambda zu: zu.get_8021x_status(PORT))),
    ("get_8021x_status/none", nothing, expect(TypeError, lambda zu: zu.get_8021x_status(None))),
    ("get_8021x_status/encode", nothing,
     expect(UnicodeEncodeError, lambda zu: zu.get_8021x_status("gi\u0100"))),
    ("get_8021x_status/text-raises", rebind(text_=raising),
     expect(RuntimeError, lambda zu: zu.get_8021x_status(PORT))),
    ("get_8021x_status/unexpected", nothing,
     expect(TypeError, lambda zu: zu.get_8021x_status(PORT, port=1))),
    ("get_8021x_sessions", nothing, lambda zu: zu.get_8021x_sessions(PORT)),
    ("get_8021x_sessions/failure", scripted("dump_tessel_802_1x_status", result=0, key=PORT),
     expect(Exception, lambda zu: zu.get_8021x_sessions(PORT))),
    ("get_8021x_sessions/bytearray", nothing,
     lambda zu: zu.get_8021x_sessions(bytearray(PORT.encode()))),
    # hardware
    ("system_temperatures", nothing, lambda zu: zu.system_temperatures()),
    ("system_temperatures/failure", scripted("get_temp_list", result=-1),
     expect(Exception, lambda zu: zu.system_temperatures())),
    ("has_temperature_sensor", nothing, lambda zu: zu.has_temperature_sensor()),
    ("has_temperature_sensor/uncached", nothing,
     lambda zu: (setattr(zu, "_HAS_TEMPERATURE_SENSOR", None), zu.has_temperature_sensor())),
    ("multiple_temperature_sensors/uncached", nothing,
     lambda zu: (setattr(zu, "_MULTIPLE_TEMPERATURE_SENSORS", None),
                 zu.multiple_temperature_sensors())),
    ("has_temperature_sensor/failure", scripted("get_temp_list", result=3),
     expect(Exception, lambda zu: (setattr(zu, "_HAS_TEMPERATURE_SENSOR", None),
                                   zu.has_temperature_sensor()))),
    ("psu_list", nothing, lambda zu: zu.psu_list()),
    ("psu_list/failure", scripted("get_psu_list", result=5),
     expect(Exception, lambda zu: zu.psu_list())),
    ("psu_list/index-error", scripted("get_psu_list", result=0,
                                      record=records.psu_list([("PSU1", 1, 1), ("psu2", 1, 0)])),
     expect(IndexError, lambda zu: zu.psu_list())),
    ("get_flashs", nothing, lambda zu: zu.get_flashs()),
    ("get_flashs/bad-utf8", scripted("get_flash_list", record=records.flash_list([
        dict(partition=1, image=b"ok", tot_size=1, used_size=1, usage=1, active=1),
        dict(partition=2, image=b"\xff\xfe", tot_size=1, used_size=1, usage=1, active=0)])),
     expect(UnicodeDecodeError, lambda zu: zu.get_flashs())),
    # ports and configuration
    ("system_port_traffic", nothing, lambda zu: zu.system_port_traffic("lo")),
    ("system_port_traffic/bad-files", quiet_reports(counter_files),
     lambda zu: zu.system_port_traffic(b"eth9")),
    ("system_port_traffic/none", nothing,
     expect(TypeError, lambda zu: zu.system_port_traffic(None))),
    ("delete_sticky_mac_unsaved", nothing, lambda zu: zu.delete_sticky_mac_unsaved()),
    ("delete_sticky_mac_unsaved/name", nothing, lambda zu: zu.delete_sticky_mac_unsaved(PORT)),
    ("delete_sticky_mac_unsaved/int", nothing,
     expect(TypeError, lambda zu: zu.delete_sticky_mac_unsaved(5))),
    ("set_hostname", nothing, lambda zu: zu.set_hostname("core-sw-1")),
    ("set_hostname/no-record", scripted("zel_query_update", result=0),
     lambda zu: zu.set_hostname(b"core-sw-1")),
    ("set_hostname/int", nothing, expect(TypeError, lambda zu: zu.set_hostname(1))),
    ("set_hostname/str-subclass", nothing, lambda zu: zu.set_hostname(EncodesFresh("sw-1"))),
    ("set_hostname/bytes-hook", nothing,
     expect(TypeError, lambda zu: zu.set_hostname(BytesHook()))),
    # traceroute
    ("get_diagnostic_data", fast_trace(), lambda zu: zu.get_diagnostic_data({}, "10.9.9.9")),
    ("get_diagnostic_data/init-fails", scripted("init_trace_route", result=0),
     lambda zu: zu.get_diagnostic_data({}, b"10.9.9.9", 5, 1, 1)),
    ("get_diagnostic_data/read-only", fast_trace(),
     expect(TypeError, lambda zu: zu.get_diagnostic_data(ReadOnly(), "10.9.9.9"))),
    ("get_diagnostic_data/routing-raises", fast_trace(get_routing_table_result=raising),
     expect(RuntimeError, lambda zu: zu.get_diagnostic_data({}, "10.9.9.9"))),
    ("get_diagnostic_data/codes-raise", fast_trace(ICMP_CODES_FOR_CHARACTERS=None),
     expect(AttributeError, lambda zu: zu.get_diagnostic_data({}, "10.9.9.9"))),
    ("get_diagnostic_data/bool-ttl", nothing,
     expect(TypeError, lambda zu: zu.get_diagnostic_data({}, "h", True))),
    ("exec_mtraceroute", quick_launch, lambda zu: zu.exec_mtraceroute("7", "232.1.1.1")),
    ("exec_mtraceroute/long-text", quick_launch,
     lambda zu: zu.exec_mtraceroute(b"7" * 300, bytearray(b"d" * 300), 1, 2.5, 3)),
    ("exec_mtraceroute/empty", quick_launch,
     expect(ValueError, lambda zu: zu.exec_mtraceroute("", "232.1.1.1"))),
    ("exec_mtraceroute/flow-id", quick_launch,
     expect(TypeError, lambda zu: zu.exec_mtraceroute("7", "232.1.1.1", flow_id="x"))),
    ("exec_mtraceroute/overflow", quick_launch,
     expect(OverflowError, lambda zu: zu.exec_mtraceroute("7", "232.1.1.1", 2**31))),
    ("exec_mtraceroute/dst-int", quick_launch,
     expect(TypeError, lambda zu: zu.exec_mtraceroute("7", 5))),
    ("exec_mtraceroute/int-hook", quick_launch,
     lambda zu: zu.exec_mtraceroute("7", "d", flow_id=IntHook(lambda: int("7000")))),
    ("exec_mtraceroute/int-hook-non-int", quick_launch,
     expect(TypeError, lambda zu: zu.exec_mtraceroute("7", "d", flow_id=IntHook(list)))),
    ("exec_mtraceroute/int-hook-subclass-warning", warnings_as_errors,
     expect(DeprecationWarning,
            lambda zu: zu.exec_mtraceroute("7", "d", flow_id=IntHook(lambda: FreshInt(7))))),
    ("exec_mtraceroute/index-hook", quick_launch,
     expect(TypeError, lambda zu: zu.exec_mtraceroute("7", "d", flow_id=IndexHook()))),
    ("exec_mtraceroute/str-subclass", quick_launch,
     lambda zu: zu.exec_mtraceroute(EncodesFresh("7"), EncodesFresh("232.1.1.1"))),
    ("exec_mtraceroute/str-subclass-non-bytes", quick_launch,
     expect(TypeError, lambda zu: zu.exec_mtraceroute("7", EncodesNonBytes("232.1.1.1")))),
    ("get_safe_r_file", result_files, take_result_file),
]

def _plain_call(name):
    return lambda zu: getattr(zu, name)()


# A function without parameters that no case above names is called as it is,
# on the default switch: the leak and concurrency checks reach every function.
_NAMED = {name.split("/")[0] for name, _, _ in CASES}
CASES += [(name, nothing, _plain_call(name)) for name in NO_ARGUMENTS if name not in _NAMED]
