"""The 802.1X record block is cleared before the platform fills it: a
platform that reports success without writing gives empty values, never the
heap's earlier contents."""

import zel_sim
from zel_sim import records

DUMP = "dump_tessel_802_1x_status"


def dirty_heap():
    # Blocks of the record's size, filled and freed, for the allocator to
    # hand back.
    junk = [bytes([0xA5]) * records.DOT1X_SIZE for _ in range(16)]
    junk += [bytearray(b"\x5a" * (records.DOT1X_SIZE - n)) for n in range(0, 512, 16)]
    del junk


def test_success_without_writing_gives_a_cleared_record(zu, zel_sim):
    zel_sim.script(DUMP, result=1, record=bytes(records.DOT1X_SIZE))
    zeros = zu.get_8021x_status("eth0"), zu.get_8021x_sessions("eth0")
    assert zeros[0]["name"] == "" and zeros[0]["sessions"] == [] and zeros[1] == []
    zel_sim.script(DUMP, result=1, record=b"")  # writes nothing
    for _ in range(20):
        dirty_heap()
        assert zu.get_8021x_status("eth0") == zeros[0]
        dirty_heap()
        assert zu.get_8021x_sessions("eth0") == zeros[1]
