"""The JSON Schema an editor checks scenario files with gives the verdict
`python -m zel_sim check` gives: the same rooms, forms and ranges, written
from the checker's own definitions."""

import pathlib

import jsonschema
import msgspec
import pytest

from zel_sim import records, scenario

ROOT = pathlib.Path(__file__).resolve().parents[2]
SCHEMA = jsonschema.Draft202012Validator(scenario.schema())


def texts_at_their_rooms():
    """Each text field at its room: a string of room - 1 bytes fits, one of
    room does not; its bytes fit whole, one more does not."""
    tables = [("[system]\n", "", {"hostname": records.HOSTNAME_ROOM}),
              ('[[dot1x]]\ninterface = "i"\n', "", records.DOT1X_TEXT_ROOMS),
              ('[[dot1x]]\ninterface = "i"\n[[dot1x.sessions]]\n', "", records.SESSION_TEXT_ROOMS),
              ("[[hardware.psu]]\n", 'name = "p"\n', {"name": records.PSU_NAME_ROOM}),
              ("[[hardware.flash]]\n", "", {"image": records.FLASH_IMAGE_ROOM}),
              ("[traceroute]\nresult = 0\n", "", records.TRACE_HEADER_ROOMS),
              ("[[traceroute.hop]]\n", "", records.TRACE_RESPONSE_ROOMS),
              ("[[traceroute.hop]]\n[[traceroute.destination]]\n", "",
               {"target": records.TRACE_HOST_ROOM})]
    for head, rest, rooms in tables:
        for key, room in rooms.items():
            other = rest if key not in rest else ""
            for size, verdict in ((room - 1, True), (room, False)):
                yield f'{head}{other}{key} = "{"x" * size}"\n', verdict
            if key == "target":  # a name: a string only
                continue
            for size, verdict in ((room, True), (room + 1, False)):
                yield f'{head}{other}{key} = {{ hex = "{"41" * size}" }}\n', verdict


CORPUS = [
    # Forms of the last backup: a moment with its offset, epoch seconds, or false.
    ("[system]\nbackup_time = 2024-11-18T02:30:00Z\n", True),
    ("[system]\nbackup_time = 2024-11-18T03:30:00.5+01:00\n", True),
    ("[system]\nbackup_time = 1700000000\n", True),
    ("[system]\nbackup_time = false\n", True),
    ("[system]\nbackup_time = true\n", False),
    ("[system]\nbackup_time = 2024-11-18\n", False),
    ("[system]\nbackup_time = 2024-11-18T02:30:00\n", False),
    ("[system]\nbackup_time = 02:30:00\n", False),
    ('[system]\nbackup_time = "yesterday"\n', False),
    ("[system]\nbackup_time = 2147483648\n", False),
    # Texts: Latin-1 strings, bytes without a NUL, names the platform is passed.
    ('[system]\nhostname = "\u00e9t\u00e9"\n', True),
    ('[system]\nhostname = "\u20ac"\n', False),
    ('[system]\nhostname = { hex = "00" }\n', False),
    ('[system]\nhostname = { hex = "4100" }\n', False),
    ('[system]\nhostname = { hex = "a" }\n', False),
    ('[system]\nhostname = { hex = "10" }\n', True),
    ('[[dot1x]]\ninterface = "gi\u20ac1"\n', False),
    ('[[dot1x]]\ninterface = "\u00e9t\u00e9"\n', True),
    (f'[[dot1x]]\ninterface = "{"i" * 64}"\n', False),
    (f'[[dot1x]]\ninterface = "{"i" * 64}"\nname = "short"\n', True),
    ('[[dot1x]]\nname = "x"\n', False),
    ('[[dot1x]]\ninterface = ""\n', False),
    # Port names name counter files.
    ('[[port]]\nname = "gi1/0/1"\n', True),
    ('[[port]]\nname = "../etc"\n', False),
    ('[[port]]\nname = "/abs"\n', False),
    ('[[port]]\nname = "a//b"\n', False),
    ('[[port]]\nname = "a/./b"\n', False),
    ('[[port]]\nname = "a/..b"\n', True),
    ('[[port]]\nname = ""\n', False),
    ('[[port]]\nname = "\u20ac"\n', False),
    (f'[[port]]\nname = "{"p" * 255}"\n', True),
    (f'[[port]]\nname = "{"p" * 256}"\n', False),
    (f'[[port]]\nname = "{"/".join(["q" * 255] * 4)}"\n', True),
    (f'[[port]]\nname = "{"/".join(["q" * 200] * 6)}"\n', False),
    # Ranges: words, counters, VLANs, delays, single precision.
    ('[[port]]\nname = "p"\nrx_bytes = 18446744073709551615\n', True),
    ('[[port]]\nname = "p"\nrx_bytes = 18446744073709551616\n', False),
    ('[[port]]\nname = "p"\nrx_bytes = -1\n', False),
    ('[[port]]\nname = "p"\nunreadable = ["rx_bytes"]\n', True),
    ('[[port]]\nname = "p"\nunreadable = ["rx_byte"]\n', False),
    ("[mtraceroute]\nresult = 4294967295\n", True),
    ("[mtraceroute]\nresult = 4294967296\n", False),
    ("[mtraceroute]\nresult = -2147483649\n", False),
    ("[mtraceroute]\ndelay = 3601\n", False),
    ('[[dot1x]]\ninterface = "a"\n[[dot1x.sessions]]\nnative_vlan_id = 65536\n', False),
    ("[hardware]\ntemperatures = [3.4028234663852886e38, -40.5]\n", True),
    ("[hardware]\ntemperatures = [3.5e38]\n", False),
    ("[hardware]\ntemperatures = [1, 2, 3, 4, 5, 6, 7, 8, 9]\n", False),
    ("[[traceroute.hop]]\nprobes = [[1, 0, 3.5e38]]\n", False),
    ("[[traceroute.hop]]\nprobes = [[1, 0, 0.5]]\n", True),
    # Keys and types.
    ("[system]\nhostnme = 1\n", False),
    ("okay = 1\n", False),
    ('[[dot1x]]\ninterface = "i"\nmode = "2"\n', False),
    ("[fail]\nget_temp_list = -1\n", True),
    ("[fail]\nget_tmp_list = -1\n", False),
    ('extends = "default"\n', True),
]


def corpus():
    yield from CORPUS
    yield from texts_at_their_rooms()
    for pattern in ("sim/zel_sim/*.toml", "docs/**/*.toml", "tests/**/*.toml",
                    "examples/**/*.toml"):
        for path in sorted(ROOT.glob(pattern)):
            if path.name != "pyproject.toml":
                yield path.read_text(), True


def check_verdict(text):
    try:
        scenario.load(text, base=ROOT / "docs")
    except scenario.ScenarioError:
        return False
    return True


def schema_verdict(text):
    """As an editor sees the file: TOML's date-times are strings to it."""
    data = msgspec.to_builtins(msgspec.toml.decode(text))
    return SCHEMA.is_valid(data)


@pytest.mark.parametrize("text, verdict", list(corpus()))
def test_the_schema_and_check_agree(text, verdict):
    assert (check_verdict(text), schema_verdict(text)) == (verdict, verdict)
