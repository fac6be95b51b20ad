import ctypes

import zel_sim
from zel_sim import Call, Step, records


def table_entry(plat, index):
    table = ctypes.c_void_p.in_dll(plat, "nCfg").value
    return ctypes.cast(table, ctypes.POINTER(ctypes.c_void_p))[index]


def test_check_create_fills_the_table_entry(plat):
    zel_sim.script("check_create_zel_query", result=4)
    assert table_entry(plat, 11) is None
    assert plat.check_create_zel_query(11) == 4
    assert table_entry(plat, 11) is not None
    assert table_entry(plat, 12) is None


def test_query_update_without_record(plat):
    plat.check_create_zel_query(11)
    zel_sim.script("zel_query_update", result=0)
    assert plat.zel_query_update(table_entry(plat, 11)) is None
    assert zel_sim.calls("zel_query_update") == [Call("zel_query_update", (11,))]


def test_hostname_commit_through_the_update_record(plat):
    zel_sim.script("zel_query_update", Step(1, aux=records.hostname_record(b"old", fill=0x5A)))
    zel_sim.script("nCfg_obj_change", result=0)
    plat.check_create_zel_query(11)
    record = plat.zel_query_update(table_entry(plat, 11))
    raw = ctypes.string_at(record, 40)
    assert raw[:4] == b"\x5a" * 4 and raw[4:8] == b"old\x00"
    ctypes.memmove(record + 4, b"new-name\x00", 9)
    assert plat.nCfg_obj_change(11, record) == 0
    assert zel_sim.hostname() == b"new-name"
    change = zel_sim.calls("nCfg_obj_change")[0]
    assert change.args[0] == 11 and change.args[1][:13] == b"\x5a" * 4 + b"new-name\x00"
    assert len(change.args[1]) == 64


def test_rejected_change_commits_nothing(plat):
    zel_sim.set_hostname("zel-switch")
    zel_sim.script("zel_query_update", result=1)
    zel_sim.script("nCfg_obj_change", result=-2)
    plat.check_create_zel_query(11)
    record = plat.zel_query_update(table_entry(plat, 11))
    assert ctypes.string_at(record + 4) == b"zel-switch"
    ctypes.memmove(record + 4, b"other\x00", 6)
    assert plat.nCfg_obj_change(11, record) == -2
    assert zel_sim.hostname() == b"zel-switch"


def test_unknown_handle_is_reported(plat):
    zel_sim.script("zel_query_update", result=1)
    assert plat.zel_query_update(ctypes.c_void_p(0x1234)) is None
    assert zel_sim.calls("zel_query_update")[0].args == (-1,)
    assert zel_sim.errors()


def test_backup_time_written_only_on_success(plat):
    stamp = ctypes.c_long(-7)
    zel_sim.script("backupts_GetTimeStamp", Step(0, records.timestamp(1700000000)),
                   Step(1, records.timestamp(1700000000)))
    assert plat.backupts_GetTimeStamp(b"sys_confroot", ctypes.byref(stamp)) == 0
    assert stamp.value == -7
    assert plat.backupts_GetTimeStamp(b"sys_confroot", ctypes.byref(stamp)) == 1
    assert stamp.value == 1700000000
    assert zel_sim.calls("backupts_GetTimeStamp")[0].args == (b"sys_confroot",)
