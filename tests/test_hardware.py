"""Hardware status: temperatures and the sensor flags, power supplies, flash."""

import struct
import traceback

import pytest
import zel_sim
from zel_sim import records

from util.errors import CFunctionError


def le32(buf, offset, value):
    struct.pack_into("<i" if value < 0 else "<I", buf, offset, value)


def last_entries(excinfo, n=1):
    return [f.name for f in traceback.extract_tb(excinfo.value.__traceback__)][-n:]


def temps(values, count=None, result=0):
    zel_sim.script("get_temp_list", result=result, record=records.temp_list(values, count))


def supplies(entries, count=None, result=0):
    zel_sim.script("get_psu_list", result=result, record=records.psu_list(entries, count))


def flashes(partitions, count=None, result=0):
    zel_sim.script("get_flash_list", result=result, record=records.flash_list(partitions, count))


@pytest.fixture
def unset(zu):
    zu._HAS_TEMPERATURE_SENSOR = zu._MULTIPLE_TEMPERATURE_SENSORS = None
    return zu


# ---- temperatures -------------------------------------------------------------

def test_temperatures_at_their_offsets(zu):
    # The 36 platform bytes ahead of each reading hold NaN patterns.
    buf = bytearray(b"\xff" * 320 + bytes(4))
    for i, value in enumerate([45.5, -12.25, 100.0]):
        struct.pack_into("<f", buf, 40 * i + 36, value)
    le32(buf, 320, 3)
    zel_sim.script("get_temp_list", record=bytes(buf))
    assert zu.system_temperatures() == (45.5, -12.25, 100.0)


def test_single_precision_widened_exactly(zu):
    temps([0.1])
    (reading,) = zu.system_temperatures()
    assert reading == 0.10000000149011612 and type(reading) is float


@pytest.mark.parametrize("count, expected", [
    (0, 0), (-1, 0), (-(2**31), 0), (9, 8), (2**31 - 1, 8),
])
def test_temperature_counts(zu, count, expected):
    temps([float(i) for i in range(8)], count=count)
    assert zu.system_temperatures() == tuple(float(i) for i in range(expected))


@pytest.mark.parametrize("code", [-1, 1, 5, -(2**31)])
def test_temperature_failure(zu, code):
    temps([40.0], result=code)
    with pytest.raises(CFunctionError) as excinfo:
        zu.system_temperatures()
    assert excinfo.value.args == ("get_temp_list", code)
    assert last_entries(excinfo) == ["zel.zel_util.system_temperatures"]


@pytest.mark.parametrize("values, has, multiple", [
    ([], False, False), ([45.5], True, False), ([41.0, 42.0, 43.0], True, True),
])
def test_sensor_flags(unset, values, has, multiple):
    temps(values)
    assert unset.has_temperature_sensor() is has
    assert unset.multiple_temperature_sensors() is multiple
    assert (unset._HAS_TEMPERATURE_SENSOR, unset._MULTIPLE_TEMPERATURE_SENSORS) == (has, multiple)


FLAGS = [("has_temperature_sensor", "_HAS_TEMPERATURE_SENSOR", "_MULTIPLE_TEMPERATURE_SENSORS"),
         ("multiple_temperature_sensors", "_MULTIPLE_TEMPERATURE_SENSORS",
          "_HAS_TEMPERATURE_SENSOR")]


@pytest.mark.parametrize("op, flag, other", FLAGS)
def test_each_flag_cached_by_its_own_call(unset, zel_sim, op, flag, other):
    temps([40.0, 41.0])
    assert getattr(unset, op)() is True
    assert getattr(unset, other) is None
    temps([])
    assert getattr(unset, op)() is True
    assert len(zel_sim.calls("get_temp_list")) == 1
    setattr(unset, flag, None)
    assert getattr(unset, op)() is False and getattr(unset, flag) is False
    assert len(zel_sim.calls("get_temp_list")) == 2


@pytest.mark.parametrize("op, flag, other", FLAGS)
def test_flag_failure_propagates_and_leaves_flag_unset(unset, op, flag, other):
    temps([40.0, 41.0], result=-1)
    with pytest.raises(CFunctionError) as excinfo:
        getattr(unset, op)()
    assert excinfo.value.args == ("get_temp_list", -1)
    assert last_entries(excinfo, 2) == [f"zel.zel_util.{op}", "zel.zel_util.system_temperatures"]
    assert getattr(unset, flag) is None
    temps([40.0, 41.0])
    assert getattr(unset, op)() is True and getattr(unset, flag) is True


def test_rebound_system_temperatures_is_called(unset, zel_sim):
    unset.system_temperatures = lambda: "ab"
    assert (unset.has_temperature_sensor(), unset.multiple_temperature_sensors()) == (True, True)
    assert zel_sim.calls("get_temp_list") == []
    unset._HAS_TEMPERATURE_SENSOR = None
    unset.system_temperatures = lambda: 3  # no len()
    with pytest.raises(TypeError):
        unset.has_temperature_sensor()
    assert unset._HAS_TEMPERATURE_SENSOR is None


# ---- power supplies -----------------------------------------------------------

def test_psu_type_made_by_the_module_level_namedtuple(python):
    python("""
        import collections
        made = []
        original = collections.namedtuple
        collections.namedtuple = lambda *a, **k: made.append((a, k)) or original(*a, **k)
        import zel.zel_util as zu
        assert (("PSU", "name connected ok"), {}) in made, made
        assert zu.PSU._fields == ("name", "connected", "ok")
    """)


def test_supplies_pickle(zu):
    import pickle

    assert zu.PSU.__module__ == "zel.zel_util"
    supplies = zu.psu_list()
    assert pickle.loads(pickle.dumps(supplies)) == supplies


def test_supplies_at_their_offsets(zu):
    buf = bytearray(records.PSU_SIZE)
    for i, (name, ok, connected) in enumerate([(b"PSU1", 1, 0), (b"PSU2", 0, 1)]):
        buf[120 * i:120 * i + len(name)] = name
        le32(buf, 120 * i + 112, ok)
        le32(buf, 120 * i + 116, connected)
    le32(buf, 1568, 2)
    zel_sim.script("get_psu_list", record=bytes(buf))
    result = zu.psu_list()
    assert result == [("PSU 1", False, True), ("PSU 2", True, False)]
    assert [type(p) for p in result] == [zu.PSU, zu.PSU]
    assert {type(v) for p in result for v in p[1:]} == {bool}


@pytest.mark.parametrize("raw, display", [
    (b"PSU1", "PSU 1"), (b"PSU 2", "PSU  2"), (b"PSU", "PSU "), (b"RPSU1", "PSU 1"),
    (b"PSU1PSU2", "PSU 1"), (b"PSU\xe91", "PSU \xe91"), (b"PSU1\x00PSU2", "PSU 1"),
])
def test_display_name(zu, raw, display):
    supplies([(raw, 1, 1)])
    assert zu.psu_list()[0].name == display


@pytest.mark.parametrize("raw", [b"psu1", b""])
def test_name_without_separator_fails_the_whole_list(zu, raw):
    supplies([("PSU1", 1, 1), (raw, 1, 1)])
    with pytest.raises(IndexError) as excinfo:
        zu.psu_list()
    assert last_entries(excinfo) == ["zel.zel_util.psu_list"]


def test_unterminated_name_stops_at_its_room(zu):
    # ok and connected hold letters, which a name read past 112 bytes would show.
    supplies([(b"PSU" + b"9" * 109, 0x41414141, 0x42424242)])
    assert zu.psu_list() == [("PSU " + "9" * 109, True, True)]


@pytest.mark.parametrize("word, truth", [(0, False), (1, True), (2, True), (-1, True)])
def test_any_nonzero_word_is_true(zu, word, truth):
    supplies([("PSU1", word, 0), ("PSU2", 0, word)])
    assert zu.psu_list() == [("PSU 1", False, truth), ("PSU 2", truth, False)]


@pytest.mark.parametrize("count, expected", [
    (0, 0), (-1, 0), (14, 13), (2**31 - 1, 13), (None, 0),
])
def test_supply_counts(zu, count, expected):
    if count is None:  # success without writing the block
        zel_sim.script("get_psu_list", result=0)
    else:
        supplies([(f"PSU{i}", 1, 0) for i in range(13)], count=count)
    assert [p.name for p in zu.psu_list()] == [f"PSU {i}" for i in range(expected)]


@pytest.mark.parametrize("code", [5, -1])
def test_supply_failure(zu, code):
    supplies([("PSU1", 1, 1)], result=code)
    with pytest.raises(CFunctionError) as excinfo:
        zu.psu_list()
    assert excinfo.value.args == ("get_psu_list", code)


def test_psu_and_text_looked_up_for_each_record(zu):
    seen = []
    supplies([("PSU1", 1, 1), ("xPSUy", 0, 0)])
    zu.text_ = lambda raw: seen.append(raw) or raw.decode()
    zu.PSU = lambda *fields: fields
    assert zu.psu_list() == [("PSU 1", True, True), ("PSU y", False, False)]
    assert seen == [b"PSU1", b"xPSUy"]


# ---- flash partitions ---------------------------------------------------------

KEYS = ["partition", "image", "tot_size", "used_size", "usage", "active"]


def test_partitions_at_their_offsets(zu):
    buf = bytearray(records.FLASH_SIZE)
    for i, values in enumerate([(1, 10, 20, 30, 40), (2, 11, 21, 31, 0)]):
        base = 88 * i
        buf[base + 4:base + 9] = b"img-%d" % i
        for offset, value in zip((0, 68, 72, 76, 80), values):
            le32(buf, base + offset, value)
    le32(buf, 704, 2)
    zel_sim.script("get_flash_list", record=bytes(buf))
    result = zu.get_flashs()
    assert [list(d.items()) for d in result] == [
        list(zip(KEYS, [1, "img-0", 10, 20, 30, 40])),
        list(zip(KEYS, [2, "img-1", 11, 21, 31, 0]))]


@pytest.mark.parametrize("images, order", [
    (["img-a", "", "img-b"], [2, 1, 3]),
    (["", "img-a", "", "img-b", ""], [1, 3, 5, 2, 4]),
    (["a", "b", "c"], [1, 2, 3]),
    (["", "", ""], [1, 2, 3]),
])
def test_empty_images_first_each_group_in_record_order(zu, images, order):
    flashes([{"partition": i + 1, "image": image} for i, image in enumerate(images)])
    assert [d["partition"] for d in zu.get_flashs()] == order


@pytest.mark.parametrize("field, word, value", [
    ("tot_size", 0xFFFFFFFF, 4294967295), ("used_size", 0x80000000, 2147483648),
    ("usage", 0xFFFFFFFF, 4294967295), ("active", 0xFFFFFFFF, -1), ("active", 2, 2),
    ("partition", 0xFFFFFFFE, -2),
])
def test_flash_signedness(zu, field, word, value):
    flashes([{"image": "img", field: word}])
    got = zu.get_flashs()[0][field]
    assert got == value and type(got) is int


@pytest.mark.parametrize("raw, image", [
    (b"z\xc3\xa9l.bin", "z\u00e9l.bin"), (b"img\x00tail", "img"), (b"x" * 64, "x" * 64),
])
def test_image_is_utf8_within_its_room(zu, raw, image):
    # tot_size holds letters, which an image read past 64 bytes would show;
    # the text conversion of the module is not used for images.
    flashes([{"image": raw, "tot_size": 0x41414141}])
    del zu.text_
    assert zu.get_flashs()[0]["image"] == image


@pytest.mark.parametrize("raw", [b"img-\xe9", b"x" * 63 + b"\xc3"])
def test_invalid_utf8_raises(zu, raw):
    flashes([{"image": "ok"}, {"image": raw}])
    with pytest.raises(UnicodeDecodeError) as excinfo:
        zu.get_flashs()
    assert last_entries(excinfo) == ["zel.zel_util.get_flashs"]


@pytest.mark.parametrize("count, expected", [(0, 0), (-1, 0), (9, 8), (2**31 - 1, 8)])
def test_partition_counts(zu, count, expected):
    flashes([{"partition": i, "image": "img"} for i in range(8)], count=count)
    assert [d["partition"] for d in zu.get_flashs()] == list(range(expected))


@pytest.mark.parametrize("result", [0, -1, 5])
def test_flash_result_not_examined(zu, result):
    zel_sim.script("get_flash_list", result=result)  # writes nothing
    assert zu.get_flashs() == []
    flashes([{"partition": 1, "image": "img"}], result=result)
    assert [d["partition"] for d in zu.get_flashs()] == [1]


# ---- shared -------------------------------------------------------------------

@pytest.mark.parametrize("name", [
    "system_temperatures", "has_temperature_sensor", "multiple_temperature_sensors",
    "psu_list", "get_flashs",
])
def test_no_arguments_accepted(zu, name):
    with pytest.raises(TypeError, match=rf"^{name}\(\) takes no arguments \(1 given\)$"):
        getattr(zu, name)(1)


def test_default_switch(unset):
    zu = unset
    assert zu.system_temperatures() == (41.5, 38.25, 52.0)
    assert (zu.has_temperature_sensor(), zu.multiple_temperature_sensors()) == (True, True)
    assert zu.psu_list() == [("PSU 1", True, True), ("PSU 2", True, False)]
    assert [(d["partition"], d["image"]) for d in zu.get_flashs()] == [
        (3, ""), (1, "zel-os-5.2.1.bin"), (2, "zel-os-5.1.4.bin")]
