"""python -m zel_sim check FILE... | dump [FILE] | schema

check   validates each scenario file; prints "FILE: ok" or the problems, and
        exits with 1 when one is not usable
dump    prints a scenario whole as TOML (what it extends merged in, every
        default filled in): FILE, or the one this process would start with
        (ZEL_SIM_SCENARIO, or the default switch)
schema  prints the JSON Schema of scenario files (a copy ships as
        zel_sim/scenario.schema.json)
"""

from __future__ import annotations

import argparse
import json
import os
import pathlib
import sys

from . import scenario
from .scenario import ScenarioError


def schema_text() -> str:
    return json.dumps(scenario.schema(), indent=2, sort_keys=True) + "\n"


def _check(files: list[pathlib.Path]) -> int:
    status = 0
    for path in files:
        try:
            scenario.load(path)
        except ScenarioError as error:
            print(error, file=sys.stderr)
            status = 1
        else:
            print(f"{path}: ok")
    return status


def _dump(file: pathlib.Path | None) -> int:
    try:
        if file is None:
            named = os.environ.get("ZEL_SIM_SCENARIO")
            if named == "":
                raise ScenarioError("ZEL_SIM_SCENARIO", "the variable is set but empty")
            file = scenario.DEFAULT_PATH if named is None else pathlib.Path(named)
        sys.stdout.write(scenario.dump(scenario.load(file)))
    except ScenarioError as error:
        print(error, file=sys.stderr)
        return 1
    return 0


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(prog="python -m zel_sim",
                                     description="Scenarios of the simulated switch.")
    commands = parser.add_subparsers(dest="command", required=True)
    check = commands.add_parser("check", help="validate scenario files")
    check.add_argument("files", nargs="+", type=pathlib.Path, metavar="FILE")
    dump = commands.add_parser("dump", help="a scenario whole, defaults filled in, as TOML")
    dump.add_argument("file", nargs="?", type=pathlib.Path, metavar="FILE")
    commands.add_parser("schema", help="JSON Schema of scenario files")
    args = parser.parse_args(argv)
    if args.command == "check":
        return _check(args.files)
    if args.command == "dump":
        return _dump(args.file)
    sys.stdout.write(schema_text())
    return 0


if __name__ == "__main__":
    sys.exit(main())
