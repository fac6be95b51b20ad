"""The hand-written TOML of snapshots reads back as the data written: every
character a text can hold, every float, tables within arrays of tables."""

import datetime
import math
import struct
import tomllib

from hypothesis import given, settings
from hypothesis import strategies as st
from zel_sim._toml_writer import Hex, table

TEXTS = st.text(st.characters(min_codepoint=1, blacklist_categories=("Cs",)), max_size=40)


def written(data):
    lines = []
    table(lines, "", data, None)
    return "\n".join(lines) + "\n"


@given(TEXTS, st.binary(max_size=8), st.floats(), st.integers(-(2**63), 2**64 - 1))
@settings(max_examples=200, deadline=None)
def test_values_read_back_unchanged(text, raw, number, integer):
    data = {"text": text, "raw": Hex(raw), "float": number, "int": integer, "flag": False,
            "list": [[1, -1, number]]}
    back = tomllib.loads(written(data))
    assert back["text"] == text and back["int"] == integer and back["flag"] is False
    assert back["raw"] == {"hex": raw.hex()}
    for value in (back["float"], back["list"][0][2]):
        assert struct.pack("<d", value) == struct.pack("<d", number) or (
            math.isnan(value) and math.isnan(number)
            and math.copysign(1, value) == math.copysign(1, number))


def test_tables_nest_as_scenarios_do():
    moment = datetime.datetime(2024, 11, 18, 2, 30, tzinfo=datetime.timezone.utc)
    data = {"system": {"backup_time": moment},
            "dot1x": [{"interface": "a", "sessions": [{"mac": "m1"}, {"mac": "m2"}]},
                      {"interface": "b", "sessions": []}],
            "hardware": {"temperatures": [], "psu": [{"name": "PSU1"}]},
            "traceroute": {"result": 0, "destination": [{"target": "t", "hop": [{"ttl": 1}]}]}}
    assert tomllib.loads(written(data)) == data
