import struct

import pytest

from zel_sim import records


def test_sizes():
    assert len(records.dot1x_status()) == 16840
    assert len(records.temp_list([])) == 324
    assert len(records.psu_list([])) == 1576
    assert len(records.flash_list([])) == 712
    assert len(records.trace_header()) == 112
    assert len(records.trace_response(1, "", "")) == 164
    assert len(records.trace_context(0)) == 584
    assert len(records.timestamp(0)) == struct.calcsize("@l")


def test_text_filling_its_room_has_no_terminator():
    raw = records.psu_list([(b"P" * 112, 1, 1)])
    assert raw[:112] == b"P" * 112 and raw[112:116] == b"\x01\x00\x00\x00"
    with pytest.raises(ValueError):
        records.psu_list([(b"P" * 113, 1, 1)])


def test_text_encodings():
    raw = records.dot1x_status(name="g\xe9")
    assert raw[:3] == b"g\xe9\x00"
    flash = records.flash_list([{"image": "\xe9"}])
    assert flash[4:7] == b"\xc3\xa9\x00"


def test_hostile_counts_and_words():
    assert struct.unpack_from("<i", records.temp_list([1.0], count=-1), 320) == (-1,)
    assert struct.unpack_from("<i", records.dot1x_status(count=2**31 - 1), 600) == (2**31 - 1,)
    flash = records.flash_list([{"tot_size": 2**32 - 1, "active": -1}])
    assert struct.unpack_from("<Ii", flash, 68) == (2**32 - 1, 0)
    assert struct.unpack_from("<i", flash, 80) == (-1,)
    with pytest.raises(ValueError):
        records.flash_list([{"tot_size": 2**32}])


def test_session_layout():
    raw = records.dot1x_status(sessions=[{}, {"mac": "m", "user": "u", "brenlow_group": "g",
                                              "traffic_vlan_id": 65535}])
    assert raw[1340 + 775:1340 + 775 + 2] == b"m\x00"
    assert raw[1340 + 775 + 198] == ord("u") and raw[1340 + 775 + 263] == ord("g")
    assert struct.unpack_from("<H", raw, 620 + 36 + 32) == (65535,)
    assert struct.unpack_from("<i", raw, 600) == (2,)


def test_trace_response_layout():
    raw = records.trace_response(3, "1.2.3.4", "h", [(1, -1, 0.5), (2, 0, 0.0)])
    assert struct.unpack_from("<i", raw, 100) == (2,)
    assert struct.unpack_from("<iif", raw, 104) == (1, -1, 0.5)
    assert struct.unpack_from("<i", raw, 116) == (2,)
