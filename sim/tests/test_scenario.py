import ctypes
import pathlib
import re
import struct
import typing

import msgspec
import pytest

import zel_sim
from zel_sim._sections import Scenario
from zel_sim._values import Hex


def dot1x(plat, name):
    buf = ctypes.create_string_buffer(16840)
    return plat.dump_tessel_802_1x_status(name, buf), buf.raw


def cstr(raw, offset, room):
    return raw[offset:offset + room].split(b"\x00")[0]


def test_default_scenario(plat):
    zel_sim.reset()
    result, raw = dot1x(plat, b"gi1/0/1")
    assert result == 1
    assert cstr(raw, 0, 64) == b"gi1/0/1"
    assert b":" in cstr(raw, 82, 114)
    assert struct.unpack_from("<i", raw, 600)[0] >= 2
    assert cstr(raw, 1340, 20).count(b":") == 5
    counts = [struct.unpack_from("<i", dot1x(plat, f"gi1/0/{i}".encode())[1], 600)[0]
              for i in range(1, 5)]
    assert counts.count(0) == 1 and sum(1 for c in counts if c >= 2) >= 2
    assert dot1x(plat, b"gi9/9/9")[0] != 1
    assert zel_sim.hostname() == b"zel-switch"

    temps = ctypes.create_string_buffer(324)
    assert plat.get_temp_list(temps) == 0
    assert struct.unpack_from("<i", temps.raw, 320)[0] == 3

    psus = ctypes.create_string_buffer(1576)
    assert plat.get_psu_list(psus) == 0
    assert struct.unpack_from("<i", psus.raw, 1568)[0] == 2
    assert cstr(psus.raw, 0, 112) == b"PSU1"
    assert struct.unpack_from("<ii", psus.raw, 120 + 112) == (0, 1)

    flash = ctypes.create_string_buffer(712)
    plat.get_flash_list(flash)
    images = [cstr(flash.raw, 88 * i + 4, 64) for i in range(3)]
    assert struct.unpack_from("<i", flash.raw, 704)[0] == 3 and b"" in images

    stamp = ctypes.c_long()
    assert plat.backupts_GetTimeStamp(b"sys_confroot", ctypes.byref(stamp)) == 1
    assert stamp.value > 1_600_000_000


def test_default_traceroute_ends_with_result_one(plat):
    zel_sim.reset()
    header = ctypes.create_string_buffer(112)
    ctx = plat.init_trace_route(b"203.0.113.53", 32, 3, 15, header)
    assert ctx
    assert struct.unpack_from("<i", ctypes.string_at(ctx, 584), 580)[0] == 1500
    results = []
    rsp = ctypes.create_string_buffer(164)
    while not results or results[-1] != 1:
        results.append(plat.query_trace_route(ctx, rsp))
        assert len(results) < 20
    plat.free_trace_route(ctx)
    assert 4 <= len(results) <= 8 and results[:-1] == [0] * (len(results) - 1)
    assert zel_sim.open_trace_contexts() == 0


def test_fail_section_replaces_scripts(plat):
    zel_sim.load_scenario('extends = "default"\n[fail]\nget_temp_list = -1\n'
                          'dump_tessel_802_1x_status = 7\n')
    assert plat.get_temp_list(ctypes.create_string_buffer(324)) == -1
    assert dot1x(plat, b"gi1/0/1")[0] == 7
    psus = ctypes.create_string_buffer(1576)
    assert plat.get_psu_list(psus) == 0 and psus.raw[:4] == b"PSU1"


def test_scenario_from_dict_and_file(plat, tmp_path):
    zel_sim.load_scenario({"system": {"hostname": "lab-sw", "backup_time": False},
                           "dot1x": [{"interface": "eth1", "port_status": "a:b",
                                      "sessions": [{"mac": "aa"}], "count": 25}]})
    assert zel_sim.hostname() == b"lab-sw"
    result, raw = dot1x(plat, b"eth1")
    assert (result, cstr(raw, 82, 114), struct.unpack_from("<i", raw, 600)[0]) == \
        (1, b"a:b", 25)
    assert plat.backupts_GetTimeStamp(b"k", ctypes.byref(ctypes.c_long())) == 0
    # Sections the scenario leaves out are not scripted at all.
    assert plat.get_temp_list(ctypes.create_string_buffer(324)) == 0
    assert zel_sim.calls("get_temp_list")

    path = tmp_path / "s.toml"
    path.write_text("[traceroute]\nresult = 0\n")
    zel_sim.load_scenario(path)
    assert plat.init_trace_route(b"x", 1, 1, 1, ctypes.create_string_buffer(112)) is None
    zel_sim.load_scenario(str(path))


def test_bad_scenarios_are_refused():
    with pytest.raises(ValueError):
        zel_sim.load_scenario({"nonsense": {}})
    with pytest.raises(ValueError):
        zel_sim.load_scenario({"extends": "other"})


def _structs_in(annotation):
    """The tables a key holds; { hex = ... } texts are described once, above
    the sections."""
    if annotation is Hex:
        return
    if isinstance(annotation, type) and issubclass(annotation, msgspec.Struct):
        yield annotation
        return
    for argument in typing.get_args(annotation):
        yield from _structs_in(argument)


def _keys(section):
    """The keys of a section and of the tables it holds."""
    hints = typing.get_type_hints(section, include_extras=True)
    for name in section.__struct_fields__:
        yield name
        for inner in _structs_in(hints[name]):
            yield from _keys(inner)


def test_the_default_scenario_documents_every_key():
    text = pathlib.Path(zel_sim.__file__).with_name("default.toml").read_text(encoding="utf-8")
    header = text.split("\n\n", 1)[0]
    # "# [system]", "# [[dot1x]]": the description of a section runs to the next.
    parts = re.split(r"^# \[\[?(\w+)\]\]?.*$", header, flags=re.M)[1:]
    described = dict(zip(parts[::2], parts[1::2]))
    hints = typing.get_type_hints(Scenario, include_extras=True)
    missing = [f"[{name}] {key}" for name in Scenario.__struct_fields__
               for section in _structs_in(hints[name]) for key in dict.fromkeys(_keys(section))
               if not re.search(rf"\b{key}\b", described.get(name, ""))]
    assert not missing, ("sim/zel_sim/default.toml: its header comment, which describes every "
                         "key, lacks "
                         + ", ".join(missing))
