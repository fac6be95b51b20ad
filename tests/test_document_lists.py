"""The counts and lists the documents give of the module and of the tree,
against the module and the tree: a function, file or folder added shows
here, each failure naming the document and what to write in it."""

import pathlib
import re

from operations import OPERATIONS
from sim_sources import SIM_PLATFORM, subsystem_files

ROOT = pathlib.Path(__file__).resolve().parent.parent
README = (ROOT / "README.md").read_text(encoding="utf-8")
SIM_README = (ROOT / "sim" / "README.md").read_text(encoding="utf-8")

# Where prose may count the module's functions.
PROSE = ["README.md", "docs/*.md", "sim/README.md", "bench/README.md", "bench/*.py",
         "examples/backend/README.md"]

_ONES = ("zero one two three four five six seven eight nine ten eleven twelve thirteen "
         "fourteen fifteen sixteen seventeen eighteen nineteen").split()
_TENS = "twenty thirty forty fifty sixty seventy eighty ninety".split()


def spelled(n):
    if n < 20:
        return _ONES[n]
    return _TENS[n // 10 - 2] + (f"-{_ONES[n % 10]}" if n % 10 else "")


_NUMBER = "|".join(sorted({spelled(n) for n in range(100)}, key=len, reverse=True))
# "seventeen functions", "lists the seventeen\nunder FUNCTIONS"
_COUNT = re.compile(rf"\b({_NUMBER}|\d+)\s+(?:under\s+)?functions\b", re.I)


def test_every_count_of_the_functions_is_the_modules():
    want = spelled(len(OPERATIONS))
    counts, wrong = 0, []
    for path in sorted({p for pattern in PROSE for p in ROOT.glob(pattern)}):
        text = path.read_text(encoding="utf-8")
        for found in _COUNT.finditer(text):
            counts += 1
            if found[1].lower() not in (want, str(len(OPERATIONS))):
                line = text.count("\n", 0, found.start()) + 1
                wrong.append(f"{path.relative_to(ROOT)}:{line} says {found[0]!r}, and the "
                             f"module has {want} functions: write {want!r}")
    assert counts, "no document counts the functions: the pattern no longer finds them"
    assert not wrong, "\n".join(wrong)


def section(text, title):
    return text.split(f"\n## {title}\n", 1)[1].split("\n## ", 1)[0]


def rows(text):
    """{first cell: the rest} of the rows of the tables in text whose first
    cell begins with a code span."""
    return {line.split("|")[1].strip(): line.split("|", 2)[2] for line in text.splitlines()
            if line.startswith("| `")}


_PATH = re.compile(r"^[\w<>*./-]+(?:\.(?:py|cpp|hpp|h|toml|md|pyi)|/)$")


def cell_paths(cell):
    """The paths a cell names: a bare name is in the folder of the path
    before it (`sim/zel_sim/_sections.py`, `default.toml`)."""
    paths, folder = [], ""
    for name in re.findall(r"`([^`]+)`", cell):
        if not _PATH.match(name):
            continue
        if "/" in name.rstrip("/"):
            folder = name.rstrip("/").rpartition("/")[0] + "/"
            paths.append(name)
        else:
            paths.append(folder + name)
    return paths


def test_the_layout_has_a_row_for_every_folder_of_the_module():
    listed = rows(section(README, "Layout"))
    folders = [f"zel/{p.name}/" for p in sorted((ROOT / "zel").iterdir()) if p.is_dir()]
    missing = [folder for folder in folders if f"`{folder}`" not in listed]
    assert not missing, (f"README.md, Layout: add a row for {', '.join(missing)} (what it "
                         f"holds)")
    stale = [cell for cell in listed if not (ROOT / cell.strip("`")).exists()]
    assert not stale, f"README.md, Layout: {', '.join(stale)} no longer exist: drop their rows"


def test_the_layout_lists_the_simulators_subsystem_files():
    row = rows(section(README, "Layout"))["`sim/`"]
    listed = re.search(r"one file per subsystem in `sim/platform/` \(([^)]*)\)", row)[1]
    names = re.findall(r"`([\w.]+)`", listed)
    assert sorted(names) == subsystem_files(), (
        "README.md, Layout, the row of sim/: its subsystem files are "
        + ", ".join(f"`{name}`" for name in subsystem_files()))


def test_adding_a_function_names_files_that_exist():
    text = section(README, "Adding a function")
    named = [path for cell in rows(text) for path in cell_paths(cell)]
    named += [path for line in text.splitlines() if not line.startswith("|")
              for path in cell_paths(line)]
    assert len(named) > 10, "the README's places are no longer found"
    missing = [path for path in named
               if not list(ROOT.glob(path.replace("<subsystem>", "*").rstrip("/")))]
    assert not missing, (f"README.md, Adding a function: {', '.join(missing)} name no file "
                         f"of the tree")


def test_the_simulators_sources_table_names_every_source():
    listed = rows(section(SIM_README, "Sources"))
    named = {path for cell in listed for path in cell_paths(cell)}
    sources = sorted(
        [p for p in SIM_PLATFORM.rglob("*") if p.suffix in (".cpp", ".h")]
        + list((ROOT / "sim" / "zel_sim").glob("*.py")))
    missing = [p.relative_to(ROOT / "sim").as_posix() for p in sources]
    missing = [path for path in missing if path not in named]
    assert not missing, (f"sim/README.md, Sources: add {', '.join(missing)} to the table "
                         f"(a row, or beside the files of its concern)")
    stale = sorted(path for path in named if not (ROOT / "sim" / path).exists())
    assert not stale, f"sim/README.md, Sources: {', '.join(stale)} no longer exist"
