"""The module's sources keep one place per fact: every interned text is
listed by one part only, and raising is one statement."""

import re
from collections import defaultdict
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
SOURCES = ROOT / "zel"

# X(member, "text") in a part's list of interned strings.
INTERNED = re.compile(r'^\s*X\(\w+,\s*("(?:[^"\\]|\\.)*")\)', re.M)


def test_every_interned_text_is_listed_once():
    owners = defaultdict(list)
    for header in sorted(SOURCES.glob("*/strings.hpp")):
        for text in INTERNED.findall(header.read_text()):
            owners[text].append(str(header.relative_to(ROOT)))
    assert owners, "no interned strings found: has zel/*/strings.hpp moved?"
    repeated = {text: files for text, files in owners.items() if len(files) > 1}
    assert not repeated, (
        "texts interned by more than one part; keep each in one list (a text "
        f"several parts read belongs in zel/core/strings.hpp): {repeated}")


def test_an_error_is_raised_in_one_statement():
    # PyErr_Format or PyErr_SetString directly followed by throw_error() is
    # raise_error() (core/errors.hpp) written out.
    pair = re.compile(r"PyErr_(?:Format|SetString)\([^;]*\);\s*throw_error\(\);")
    found = [f"{source.relative_to(ROOT)}: {match.group(0).split('(')[0]}"
             for source in sorted(SOURCES.glob("*/*.cpp"))
             for match in pair.finditer(source.read_text())]
    assert not found, f"use raise_error(type, format, ...) instead: {found}"
