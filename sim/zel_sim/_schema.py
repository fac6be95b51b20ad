"""The JSON Schema of scenario files, for editors: msgspec's schema of the
Scenario structures, with what their checks refuse beyond their types
written in from the same definitions (each text's room and encoding, the
form of a text given by its bytes, a port name). What only a whole scenario
can say (keys given twice, a route's last hop, ports whose counter files
would clash) stays the checker's."""

from __future__ import annotations

from typing import Any

import msgspec

from . import _ports, scenario
from ._values import LATIN_1

# A text given by its bytes: pairs of hex digits, none of them 00 (a NUL
# would end the text).
_HEX_NO_NUL = "^([0-9A-Fa-f][1-9A-Fa-f]|[1-9A-Fa-f]0)*$"


def _text(room: int, encoding: str, original: dict[str, Any]) -> dict[str, Any]:
    """A text field of `room` bytes with the terminator: a string of at most
    room - 1 characters, or (where the field takes them) its bytes filling
    the field at most whole."""
    if "anyOf" not in original:  # a name, a string only
        return {**original, "maxLength": room - 1}
    string: dict[str, Any] = {"type": "string", "maxLength": room - 1}
    if encoding == "latin-1":
        string["pattern"] = LATIN_1
    else:
        string["description"] = f"at most {room - 1} bytes in {encoding}"
    data = {"type": "object", "additionalProperties": False, "required": ["hex"],
            "properties": {"hex": {"type": "string", "maxLength": 2 * room,
                                   "pattern": _HEX_NO_NUL}}}
    forms = [string, data]
    if {"type": "null"} in original.get("anyOf", []):
        forms.append({"type": "null"})
    out = {"anyOf": forms}
    if "default" in original:
        out["default"] = original["default"]
    return out


def _struct_classes() -> dict[str, type[msgspec.Struct]]:
    return {name: cls for name, cls in vars(scenario).items()
            if isinstance(cls, type) and issubclass(cls, msgspec.Struct)}


def schema() -> dict[str, Any]:
    """The JSON Schema of a scenario file."""
    result: dict[str, Any] = msgspec.json.schema(scenario.Scenario)
    definitions = result["$defs"]
    for name, cls in _struct_classes().items():
        properties = definitions.get(name, {}).get("properties", {})
        rooms: dict[str, int] = getattr(cls, "text_rooms", {})
        for key, room in rooms.items():
            properties[key] = _text(room, getattr(cls, "text_encoding"), properties[key])
    # A port's name names its counter files.
    definitions["Port"]["properties"]["name"] = _ports.name_schema()
    # The 802.1X record's name defaults to the interface, which must fit it then.
    name_room = scenario.Dot1x.text_rooms["name"]
    definitions["Dot1x"]["if"] = {"not": {"required": ["name"]}}
    definitions["Dot1x"]["then"] = {"properties": {"interface": {"maxLength": name_room - 1}}}
    if not any(r == {"$ref": "#/$defs/Hex"} for r in _references(result)):
        del definitions["Hex"]
    return result


def _references(value: Any) -> list[Any]:
    if isinstance(value, dict):
        return [value, *(r for v in value.values() for r in _references(v))]
    if isinstance(value, list):
        return [r for v in value for r in _references(v)]
    return []
