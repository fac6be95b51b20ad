"""Configuration queries: backup time, diagnostic-debug flag, constants."""

import datetime
import traceback

import pytest
import zel_sim
from zel_sim import records


def backup(result, seconds=0):
    zel_sim.script("backupts_GetTimeStamp", result=result, record=records.timestamp(seconds))


class TestLastBackup:
    @pytest.mark.parametrize("result", [0, 2, -1])
    def test_anything_but_one_means_no_backup(self, zu, result):
        backup(result, 1_700_000_000)
        assert zu.get_last_backup() is None

    @pytest.mark.parametrize("seconds", [0, 1_700_000_000, -86_400])
    def test_time_in_local_time(self, zu, seconds):
        backup(1, seconds)
        assert zu.get_last_backup() == datetime.datetime.fromtimestamp(seconds)

    def test_key_passed_to_the_platform(self, zu, zel_sim):
        zu.get_last_backup()
        assert zel_sim.calls("backupts_GetTimeStamp") == [("backupts_GetTimeStamp", (b"sys_confroot",))]

    @pytest.mark.parametrize("key, sent", [
        (b"k" * 25, b"k" * 19),
        (bytearray(b"alt\x00key"), b"alt"),
        (b"", b""),
    ])
    def test_key_is_read_at_each_call_and_bounded(self, zu, zel_sim, key, sent):
        zu._KEY = key
        zu.get_last_backup()
        assert zel_sim.calls("backupts_GetTimeStamp")[-1].args == (sent,)

    def test_text_key_is_refused_before_the_platform(self, zu, zel_sim):
        zu._KEY = "sys_confroot"
        with pytest.raises(TypeError):
            zu.get_last_backup()
        assert zel_sim.calls("backupts_GetTimeStamp") == []

    def test_missing_key_is_a_name_error(self, zu):
        del zu._KEY
        with pytest.raises(NameError, match="^name '_KEY' is not defined$") as excinfo:
            zu.get_last_backup()
        names = [f.name for f in traceback.extract_tb(excinfo.value.__traceback__)]
        assert names[-1] == "zel.zel_util.get_last_backup"

    def test_datetime_is_looked_up_at_each_call(self, zu):
        class Clock:
            @staticmethod
            def fromtimestamp(value):
                return ("at", value)

        backup(1, 42)
        zu.datetime = Clock
        assert zu.get_last_backup() == ("at", 42)
        zu.datetime = object()
        with pytest.raises(AttributeError):
            zu.get_last_backup()

    def test_builtins_stand_in_for_missing_module_names(self, zu):
        import builtins

        backup(1, 42)
        del zu.datetime
        builtins.datetime = datetime.datetime
        try:
            assert zu.get_last_backup() == datetime.datetime.fromtimestamp(42)
        finally:
            del builtins.datetime
        with pytest.raises(NameError, match="^name 'datetime' is not defined$"):
            zu.get_last_backup()

    def test_out_of_range_time_propagates(self, zu):
        backup(1, 2**62)
        with pytest.raises((OverflowError, ValueError, OSError)):
            zu.get_last_backup()


class TestFlagsAndConstants:
    @pytest.mark.parametrize("flag", [0, 1, 7, -3])
    def test_diag_debug_flag_is_an_int(self, zu, flag):
        zel_sim.script("is_diag_debug_enabled", result=flag)
        value = zu.get_diag_debug_status()
        assert value == flag and type(value) is int

    def test_constants(self, zu, zel_sim):
        assert zu.get_cmdb_max_buff() == 4095
        assert zu.stp_instance_priority_default() == 32768
        assert zel_sim.calls() == []

    @pytest.mark.parametrize("name", [
        "get_last_backup", "get_diag_debug_status", "get_cmdb_max_buff",
        "stp_instance_priority_default",
    ])
    def test_no_arguments_accepted(self, zu, name):
        f = getattr(zu, name)
        with pytest.raises(TypeError, match=rf"^{name}\(\) takes no arguments \(1 given\)$"):
            f(1)
        with pytest.raises(TypeError, match=rf"^{name}\(\) takes no arguments \(2 given\)$"):
            f(1, 2)
        for call in (lambda: f(x=1), lambda: f(1, x=2)):
            with pytest.raises(TypeError, match=rf"^{name}\(\) takes no keyword arguments$"):
                call()
