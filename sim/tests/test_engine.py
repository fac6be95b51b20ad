import ctypes
import threading
import time

import pytest

import zel_sim
from zel_sim import Call, Step
from zel_sim.testing import script_trace


def temp_call(plat, fill=0xAB):
    buf = ctypes.create_string_buffer(bytes([fill]) * 324, 324)
    return plat.get_temp_list(buf), buf.raw


def test_steps_are_consumed_in_order_and_the_last_repeats(plat):
    zel_sim.script("get_temp_list", Step(5), 6, {"result": 7})
    assert [temp_call(plat)[0] for _ in range(5)] == [5, 6, 7, 7, 7]


def test_single_step_shorthand_and_removal(plat):
    zel_sim.script("get_temp_list", result=-1)
    assert temp_call(plat)[0] == -1
    zel_sim.script("get_temp_list")
    assert temp_call(plat)[0] == 0


def test_unscripted_function_answers_zero_and_writes_nothing(plat):
    result, raw = temp_call(plat)
    assert result == 0
    assert raw == b"\xab" * 324


def test_record_is_copied_and_the_rest_left_untouched(plat):
    zel_sim.script("get_temp_list", result=0, record=b"\x01\x02\x03")
    _, raw = temp_call(plat)
    assert raw == b"\x01\x02\x03" + b"\xab" * 321


def test_record_longer_than_the_output_is_cut_to_it(plat):
    zel_sim.script("get_temp_list", record=b"\x11" * 1000)
    buf = ctypes.create_string_buffer(400)
    plat.get_temp_list(buf)
    assert buf.raw == b"\x11" * 324 + b"\x00" * 76


def test_keyed_script_wins_and_unkeyed_is_the_fallback(plat):
    zel_sim.script("dump_tessel_802_1x_status", result=-3)
    zel_sim.script("dump_tessel_802_1x_status", 1, 2, key="gi1/0/1")
    zel_sim.script("dump_tessel_802_1x_status", result=9, key=b"\xe9th0")
    buf = ctypes.create_string_buffer(16840)
    answers = [plat.dump_tessel_802_1x_status(name, buf)
               for name in (b"gi1/0/1", b"gi1/0/2", b"gi1/0/1", b"\xe9th0", b"gi1/0/1")]
    assert answers == [1, -3, 2, 9, 2]


FUNCTION_NAMES = ", ".join(zel_sim.FUNCTIONS)

# What a test author sees for a wrong argument of the scripting calls.
MISUSES = [
    (lambda: zel_sim.script("get_temp_list", result="x"), TypeError,
     "result must be an int, not str ('x')"),
    (lambda: zel_sim.script("get_temp_list", result=2**63), ValueError,
     "result must be an int from -2**63 to 2**63-1, not 9223372036854775808"),
    (lambda: zel_sim.script("get_temp_list", delay="1"), TypeError,
     "delay must be seconds as an int or float, not str ('1')"),
    (lambda: zel_sim.script("get_temp_list", delay=-0.5), ValueError,
     "delay must be from 0 to 3600 seconds, not -0.5"),
    (lambda: zel_sim.script("get_temp_list", aux="\u20ac"), ValueError,
     "aux must be bytes, or a str of Latin-1 characters: '\u20ac' is not one"),
    (lambda: zel_sim.script("get_temp_list", 0, "x"), TypeError,
     "step 2: give a Step, an int result, or a dict or tuple of a step's fields "
     "(result, record, delay, aux), not str ('x')"),
    (lambda: zel_sim.script("get_temp_list", {"reslt": 1}), TypeError,
     "step 1: no field 'reslt' (did you mean 'result'?); a step's fields are "
     "result, record, delay, aux"),
    (lambda: zel_sim.script("get_temp_list", (0, b"", 0, b"", 1)), TypeError,
     "step 1: 5 fields given; a step's fields are result, record, delay, aux"),
    (lambda: zel_sim.script("get_temp_list", 1, (0, b"", "slow")), TypeError,
     "step 2: delay must be seconds as an int or float, not str ('slow')"),
    (lambda: zel_sim.script("get_temp_list", Step(result=1.5)), TypeError,
     "step 1: result must be an int, not float (1.5)"),
    (lambda: zel_sim.script(b"get_temp_list"), TypeError,
     "fn must be the name of a platform function (a str), not bytes (b'get_temp_list')"),
    (lambda: zel_sim.script("get_temps", result=0), ValueError,
     "no platform function named 'get_temps' (did you mean 'get_temp_list'?)"),
    (lambda: zel_sim.calls("get_fan_list"), ValueError,
     "no platform function named 'get_fan_list' (did you mean 'get_flash_list'?)"),
    (lambda: script_trace(reply_mtu="1500"), TypeError,
     "reply_mtu must be an int, not str ('1500')"),
    (lambda: script_trace(init_result=None), TypeError,
     "init_result must be an int, not NoneType (None)"),
    (lambda: script_trace(init_delay="0.1"), TypeError,
     "init_delay must be seconds as an int or float, not str ('0.1')"),
    (lambda: script_trace(header="x"), TypeError,
     "header must be bytes (records.trace_header(...)) or None, not str"),
    (lambda: zel_sim.script("fan_speed"), ValueError,
     f"no platform function named 'fan_speed'; the platform functions: {FUNCTION_NAMES}"),
]


@pytest.mark.parametrize("call, error, message", MISUSES)
def test_a_wrong_argument_is_named_with_what_it_takes(plat, call, error, message):
    zel_sim.script("get_temp_list", 4)
    with pytest.raises(error) as raised:
        call()
    assert str(raised.value) == message
    # Refused before anything changed.
    assert temp_call(plat)[0] == 4


def test_steps_and_single_step_fields_do_not_mix():
    with pytest.raises(TypeError):
        zel_sim.script("get_temp_list", Step(1), result=2)


def test_delay_does_not_block_other_threads(plat):
    zel_sim.script("get_temp_list", result=0, delay=1.0)
    zel_sim.script("is_diag_debug_enabled", result=1)
    slow = threading.Thread(target=temp_call, args=(plat,))
    start = time.monotonic()
    slow.start()
    time.sleep(0.1)
    quick = [plat.is_diag_debug_enabled() for _ in range(100)]
    quick_done = time.monotonic() - start
    slow.join()
    assert quick == [1] * 100
    assert quick_done < 0.5
    assert time.monotonic() - start >= 1.0


def test_call_log_records_arguments(plat):
    buf = ctypes.create_string_buffer(16840)
    plat.dump_tessel_802_1x_status(b"gi\x01\xff", buf)
    plat.sms_do_flush(3, None)
    plat.sms_do_flush(0, b"")
    plat.api_mtraceroute(b"239.1.1.1", 90, 5, 30, b"17")
    plat.plat_switch_get_data_channel_unit()
    assert zel_sim.calls() == [
        Call("dump_tessel_802_1x_status", (b"gi\x01\xff",)),
        Call("sms_do_flush", (3, None)),
        Call("sms_do_flush", (0, b"")),
        Call("api_mtraceroute", (b"239.1.1.1", 90, 5, 30, b"17")),
        Call("plat_switch_get_data_channel_unit", ()),
    ]
    assert zel_sim.calls("sms_do_flush") == [Call("sms_do_flush", (3, None)),
                                             Call("sms_do_flush", (0, b""))]
    zel_sim.clear_calls()
    assert zel_sim.calls() == []


def test_call_log_keeps_the_latest_4096(plat):
    for unit in range(5000):
        plat.sms_do_flush(unit, None)
    log = zel_sim.calls()
    assert len(log) == 4096
    assert log[0].args == (5000 - 4096, None)
    assert log[-1].args == (4999, None)
    assert zel_sim.total_calls() == 5000
