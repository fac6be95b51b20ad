"""Every problem of a scenario's data, not only the first.

msgspec stops at the first problem of a value. Here a table is checked key
by key: each unknown key (with the nearest known one suggested), each
missing one, and each value on its own, entries of arrays of tables one by
one; a table's own checks across its keys (its __post_init__) run once its
keys are right. The messages are msgspec's, located from the root: "Expected
`int`, got `str` - at `$.dot1x[0].mode`"."""

from __future__ import annotations

import difflib
from collections.abc import Iterable
from typing import Annotated, Any

import msgspec
from msgspec import Meta, inspect


def _suggestion(given: object, known: Iterable[str]) -> str:
    if not isinstance(given, str):
        return ""
    near = difflib.get_close_matches(given, list(known), n=1, cutoff=0.5)
    return f" (did you mean `{near[0]}`?)" if near else ""


def _rooted(message: str, where: str) -> str:
    """msgspec's message about a value checked alone, located from the root."""
    at = message.rfind("`$")
    if at >= 0 and message.endswith("`"):
        return f"{message[:at + 1]}{where}{message[at + 2:]}"
    return f"{message} - at `{where}`"


def _converted(value: Any, type_: Any, where: str) -> list[str]:
    try:
        msgspec.convert(value, type_)
    except msgspec.ValidationError as error:
        return [_rooted(str(error), where)]
    return []


def _struct_class(info: inspect.Type) -> type[msgspec.Struct] | None:
    """The Struct of a table (a text given by its bytes is a value: None)."""
    if isinstance(info, inspect.StructType) and info.cls.__struct_fields__ != ("hex",):
        return info.cls
    return None


def _without_absent(info: inspect.Type) -> inspect.Type:
    """A union with None, which a file cannot hold, left out."""
    if isinstance(info, inspect.UnionType):
        kept = [t for t in info.types if not isinstance(t, inspect.NoneType)]
        if len(kept) == 1:
            return kept[0]
    return info


def _value(value: Any, type_: Any, where: str) -> list[str]:
    info = _without_absent(inspect.type_info(type_))
    cls = _struct_class(info)
    if cls is not None:
        return problems(value, cls, where)
    if isinstance(info, inspect.ListType) and _struct_class(info.item_type) is not None:
        shape = Annotated[list[Any], Meta(min_length=info.min_length, max_length=info.max_length)]
        found = _converted(value, shape, where)
        if found:
            return found
        item = _struct_class(info.item_type)
        assert item is not None
        return [p for i, entry in enumerate(value) for p in problems(entry, item, f"{where}[{i}]")]
    if isinstance(info, inspect.DictType) and isinstance(value, dict):
        return _entries(value, type_, info, where)
    return _converted(value, type_, where)


def _entries(value: dict[Any, Any], type_: Any, info: inspect.DictType, where: str) -> list[str]:
    """A table of names: each entry on its own, an unknown name with the
    nearest known one."""
    known = info.key_type.values if isinstance(info.key_type, inspect.LiteralType) else ()
    found = []
    for key, item in value.items():
        for problem in _converted({key: item}, type_, where):
            if problem.startswith("Invalid enum value"):
                problem += _suggestion(key, map(str, known))
            found.append(problem.replace(f"`{where}[...]`", f"`{where}.{key}`"))
    return found


def problems(data: Any, cls: type[msgspec.Struct], where: str = "$") -> list[str]:
    """Every problem of data as a cls, each located; [] when it is one."""
    if not isinstance(data, dict):
        return _converted(data, cls, where)
    fields = {f.encode_name: f for f in msgspec.structs.fields(cls)}
    found = [f"Object contains unknown field `{key}` - at `{where}`"
             + _suggestion(key, fields) for key in data if key not in fields]
    found += [f"Object missing required field `{name}` - at `{where}`"
              for name, f in fields.items() if f.required and name not in data]
    for name, f in fields.items():
        if name in data:
            found += _value(data[name], f.type, f"{where}.{name}")
    return found or _converted(data, cls, where)
