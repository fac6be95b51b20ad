import ctypes
import os
import pathlib

import pytest

import migbase.migbase
import util.string
import zel
import zel.zel
from util.errors import CFunctionError
from zovrak.modules.modules_util import get_routing_table_result

_get_pointer = ctypes.pythonapi.PyCapsule_GetPointer
_get_pointer.restype = ctypes.c_void_p
_get_pointer.argtypes = [ctypes.py_object, ctypes.c_char_p]
_get_name = ctypes.pythonapi.PyCapsule_GetName
_get_name.restype = ctypes.c_char_p
_get_name.argtypes = [ctypes.py_object]


def export(module, name):
    capsule = module.__pyx_capi__[name]
    signature = _get_name(capsule)
    return signature.decode(), _get_pointer(capsule, signature)


def variable(module, name):
    _, address = export(module, name)
    return ctypes.c_char_p.from_address(address).value


STATS = {
    "SYS_CLASS_NET_STATS_TX_PKTS": b"tx_packets",
    "SYS_CLASS_NET_STATS_TX_BYTES": b"tx_bytes",
    "SYS_CLASS_NET_STATS_RX_PKTS": b"rx_packets",
    "SYS_CLASS_NET_STATS_RX_BYTES": b"rx_bytes",
}


def test_signatures():
    assert {k: export(zel.zel, k)[0] for k in zel.zel.__pyx_capi__} == {
        **{k: "char *" for k in STATS},
        "system_port_stat_path": "char const *(char *, char *)",
    }
    assert export(util.string, "strtcpy")[0] == "int (char *, int, char const *)"
    assert export(migbase.migbase, "WARM_START_PATH")[0] == "char *"
    assert variable(migbase.migbase, "WARM_START_PATH") == b"/mnt/flash/warm_start"


def test_zel_is_a_namespace_package():
    assert getattr(zel, "__file__", None) is None


def strtcpy():
    fn = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_int, ctypes.c_char_p)
    return fn(export(util.string, "strtcpy")[1])


GUARD = b"\xa5" * 16


# 20 and 64: the rooms zel.zel_util copies into. Sources one byte shorter
# than the room, as long as the room, one byte longer and far longer.
@pytest.mark.parametrize("size", [1, 2, 20, 64])
@pytest.mark.parametrize("excess", [-1, 0, 1, 100])
def test_strtcpy_stays_between_guard_bytes(size, excess):
    src = bytes(ord("a") + i % 26 for i in range(size + excess))
    memory = ctypes.create_string_buffer(GUARD + b"\xff" * size + GUARD, 2 * len(GUARD) + size)
    copied = min(len(src), size - 1)
    assert strtcpy()(ctypes.addressof(memory) + len(GUARD), size, src) == copied
    assert memory.raw == GUARD + src[:copied] + b"\x00" + b"\xff" * (size - copied - 1) + GUARD


def test_strtcpy_without_room_writes_nothing():
    dst = ctypes.create_string_buffer(b"\xff" * 4, 4)
    assert strtcpy()(dst, 0, b"abc") == -1
    assert strtcpy()(dst, -5, b"abc") == -1
    assert dst.raw == b"\xff" * 4


def stat_path(name, stat):
    fn = ctypes.CFUNCTYPE(ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p)
    return fn(export(zel.zel, "system_port_stat_path")[1])(name, stat)


def test_stat_path_composition(tmp_path):
    assert zel.zel.stats_root() == "/sys/class/net"
    assert stat_path(b"eth0", b"rx_bytes") == b"/sys/class/net/eth0/statistics/rx_bytes"
    zel.zel.set_stats_root(tmp_path)
    try:
        assert stat_path(b"gi1/0/1", b"tx_packets") == \
            os.fsencode(tmp_path) + b"/gi1/0/1/statistics/tx_packets"
    finally:
        zel.zel.set_stats_root(None)
    assert zel.zel.stats_root() == "/sys/class/net"


def test_counter_variables_can_be_repointed():
    assert {k: variable(zel.zel, k) for k in STATS} == STATS
    zel.zel.set_counter_file("SYS_CLASS_NET_STATS_RX_BYTES", "rx_compressed")
    try:
        assert variable(zel.zel, "SYS_CLASS_NET_STATS_RX_BYTES") == b"rx_compressed"
    finally:
        zel.zel.set_counter_file("SYS_CLASS_NET_STATS_RX_BYTES", None)
    assert variable(zel.zel, "SYS_CLASS_NET_STATS_RX_BYTES") == b"rx_bytes"
    with pytest.raises(ValueError):
        zel.zel.set_counter_file("SYS_CLASS_NET_STATS_NOPE", "x")


def test_real_counters_are_readable_by_default():
    loopback = pathlib.Path(stat_path(b"lo", b"rx_bytes").decode())
    if loopback.parent.is_dir():
        assert int(loopback.read_text()) >= 0


def test_cfunction_error():
    err = CFunctionError("get_temp_list", -1)
    assert err.args == ("get_temp_list", -1)
    assert (err.function, err.code) == ("get_temp_list", -1)
    alloc = CFunctionError("PyMem_Malloc")
    assert alloc.args == ("PyMem_Malloc",) and alloc.code is None
    assert isinstance(err, Exception)


def test_routing_table_is_deterministic():
    first = get_routing_table_result("203.0.113.53")
    assert first == get_routing_table_result("203.0.113.53")
    assert [r["selected"] for r in first] == [False, True]
    local = get_routing_table_result("192.168.1.20")
    assert [r["selected"] for r in local] == [True, False]
    assert not any(r["selected"] for r in get_routing_table_result("not an address"))
