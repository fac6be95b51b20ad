"""python -m zel_sim check FILE... | dump [FILE] | schema | snapshot [...] | diff A B

check   validates each scenario file; prints "FILE: ok" or every problem of
        the file, and exits with 1 when one is not usable
dump    prints a scenario whole as TOML (what it extends merged in, every
        default filled in): FILE, or the one this process would start with
        (ZEL_SIM_SCENARIO, or the default switch)
schema  prints the JSON Schema of scenario files (the build writes the
        same into the installed package, zel_sim/scenario.schema.json)
snapshot
        writes a scenario reproducing what zel.zel_util's read-only operations
        return, on a switch or against the simulator (see its --help)
diff    compares what those operations return under scenario A and under
        scenario B, per operation; exits with 1 when they differ (see its --help)

The command loads neither the simulator library nor a scenario of its own
accord: check, dump and schema need neither, snapshot loads the simulator
only when it reads a simulated switch, and diff loads it to run A and B. On
a switch, where only this package's Python files and the standard library
are at hand, snapshot imports nothing else.
"""

from __future__ import annotations

import argparse
import json
import os
import pathlib
import sys
from typing import TYPE_CHECKING, Any

from ._errors import ScenarioError

if TYPE_CHECKING:
    from types import ModuleType


def schema_text() -> str:
    from . import scenario

    return json.dumps(scenario.schema(), indent=2, sort_keys=True) + "\n"


def _check(files: list[pathlib.Path]) -> int:
    from . import scenario

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
    from . import scenario

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


SNAPSHOT_HELP = """\
Reads a switch through zel.zel_util's read-only operations and writes a
scenario that makes the simulator return the same: hostname (where
readable), last backup, diagnostic flag, temperatures, power supplies, flash
partitions, and the 802.1X state and traffic counters of each port. It never
flushes, changes the hostname or launches anything. Each platform failure
met is recorded as that failure (an 802.1X port whose dump answers -1
replays as -1) and reported on standard error; the snapshot goes on. What a
scenario cannot say is written in the file's header comment.

Where the switch comes from: on a switch, run the command as the back-end
runs (the same interpreter and environment), so that the platform libraries
are in the process; the command finds their symbols there and reads the
switch with its own platform and sibling modules, never loading the
simulator (--device insists on that, and fails when the platform is not in
the process). Otherwise (--simulator) it reads the simulated switch of the
scenario this process starts with (ZEL_SIM_SCENARIO, or the default one).

Ports: on a switch, the interfaces the kernel lists (/sys/class/net) unless
--ports names the platform's names; against the simulator, the scenario's
802.1X interfaces and ports.
"""


Hostname = tuple[bytes | str | None, str]


def _platform(args: argparse.Namespace) -> tuple[ModuleType, str, list[str], Hostname]:
    """The module, a description of where its platform comes from, the
    default ports and the hostname with where it comes from, or SystemExit."""
    from . import _lib, snapshot
    from ._toml_writer import quoted

    device = not args.simulator and snapshot.platform_in_process()
    if args.device and not device:
        raise SystemExit("zel_sim snapshot: --device: the platform is not in this process "
                         "(no platform library is loaded here): run the command where the "
                         "back-end runs on the switch, or read the simulator with --simulator")
    if not device and not os.path.exists(_lib.LIBRARY):
        raise SystemExit("zel_sim snapshot: the platform is not in this process and the "
                         "simulator library is not installed: run it where the back-end runs")
    if device:
        import socket

        name = socket.gethostname()
        source = f"the switch's own platform on host {quoted(name)}"
        ports = snapshot.kernel_interfaces()
        hostname: Hostname = (name, "the kernel's")
    else:
        from . import _startup

        try:
            _startup.apply_start_scenario()
        except ScenarioError as error:
            raise SystemExit(str(error)) from None
        import zel_sim

        start = zel_sim.start_scenario()
        named = os.environ.get("ZEL_SIM_SCENARIO")
        source = f"the simulator running {quoted(named) if named else 'the default scenario'}"
        ports = [d.interface for d in start.dot1x]
        ports += [p.name for p in start.port if p.name not in ports]
        hostname = (zel_sim.hostname(), "the one committed in the simulated platform")
    return _module("snapshot"), source, ports, hostname


def _module(command: str) -> ModuleType:
    """zel.zel_util, without the DeprecationWarning its sibling modules'
    pyramid.compat gives on import (the back-end's own business), or
    SystemExit."""
    import warnings

    try:
        with warnings.catch_warnings():
            warnings.filterwarnings("ignore", category=DeprecationWarning,
                                    message="`pyramid.compat` is deprecated")
            import zel.zel_util as module
    except ImportError as error:
        raise SystemExit(f"zel_sim {command}: zel.zel_util cannot be imported here: {error}"
                         ) from None
    return module


def _snapshot(args: argparse.Namespace) -> int:
    from . import snapshot

    module, source, ports, hostname = _platform(args)
    if args.ports is not None:
        ports = [p for p in args.ports.split(",") if p]
    taken = snapshot.take(module, ports, args.trace, hostname=hostname[0],
                          hostname_source=hostname[1])
    written = snapshot.render(taken, source)
    if args.output is None:
        sys.stdout.write(written)
    else:
        args.output.write_text(written, encoding="utf-8")
    return 0


def _snapshot_parser(commands: Any) -> None:
    snap = commands.add_parser(
        "snapshot", help="a scenario reproducing a switch, read through zel.zel_util",
        description=SNAPSHOT_HELP, formatter_class=argparse.RawDescriptionHelpFormatter)
    snap.add_argument("--ports", metavar="PORT,...",
                      help="the ports to read, by the platform's names (comma-separated)")
    snap.add_argument("--trace", nargs="+", action="extend", default=[], metavar="HOST",
                      help="also run a traceroute to each HOST and keep its hops; on a "
                           "switch this is a real trace, sending probes on the network")
    snap.add_argument("-o", "--output", type=pathlib.Path, metavar="FILE",
                      help="write the scenario to FILE (default: standard output)")
    where = snap.add_mutually_exclusive_group()
    where.add_argument("--device", action="store_true",
                       help="read the platform already in this process (a switch); never "
                            "load the simulator")
    where.add_argument("--simulator", action="store_true",
                       help="read the simulated switch of ZEL_SIM_SCENARIO (or the default)")


DIFF_HELP = """\
Loads scenario A, then scenario B, into the simulated platform of this
process, reads each through zel.zel_util's read-only operations (the system
values and hardware lists, the 802.1X state, sessions and traffic counters
of every interface and port either scenario names, a traceroute to every
target either names) and prints, per operation, where the results differ
and the two values. A snapshot against the scenario it was taken from shows
what the snapshot does not reproduce.

Exit status: 0 when every result is equal, 1 when any differs, 2 when a
scenario cannot be used. A or B may be "default", the embedded switch.
"""


def _diff(args: argparse.Namespace) -> int:
    from . import _lib, diff, scenario

    files = [scenario.DEFAULT_PATH if f == "default" else pathlib.Path(f)
             for f in (args.a, args.b)]
    try:
        chosen = [scenario.load(f) for f in files]
    except ScenarioError as error:
        print(f"zel_sim diff: {error}", file=sys.stderr)
        return 2
    if not os.path.exists(_lib.LIBRARY):
        raise SystemExit("zel_sim diff: the simulator library is not installed")
    _lib.load()
    import zel_sim

    module = _module("diff")
    ports, traces = diff.names(chosen)
    traces += [t for t in args.trace if t not in traces]
    results = []
    for one in chosen:
        zel_sim.load_scenario(one)
        results.append(diff.read(module, ports, traces))
    lines = diff.report(*results)
    compared = len(results[0])
    if not lines:
        print(f"A ({args.a}) and B ({args.b}) answer alike: {compared} read-only operations "
              "compared")
        return 0
    differing = sum(1 for line in lines if not line.startswith(" "))
    print(f"A = {args.a}, B = {args.b}: {differing} of {compared} read-only operations differ")
    print("\n".join(lines))
    return 1


def _diff_parser(commands: Any) -> None:
    parser = commands.add_parser(
        "diff", help="what the read-only operations return under two scenarios, compared",
        description=DIFF_HELP, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("a", metavar="A", help="a scenario file (or default)")
    parser.add_argument("b", metavar="B", help="a scenario file, such as a snapshot (or default)")
    parser.add_argument("--trace", nargs="+", action="extend", default=[], metavar="HOST",
                        help="also compare a traceroute to each HOST")


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(prog="python -m zel_sim",
                                     description="Scenarios of the simulated switch.")
    commands = parser.add_subparsers(dest="command", required=True)
    check = commands.add_parser("check", help="validate scenario files")
    check.add_argument("files", nargs="+", type=pathlib.Path, metavar="FILE")
    dump = commands.add_parser("dump", help="a scenario whole, defaults filled in, as TOML")
    dump.add_argument("file", nargs="?", type=pathlib.Path, metavar="FILE")
    commands.add_parser("schema", help="JSON Schema of scenario files")
    _snapshot_parser(commands)
    _diff_parser(commands)
    args = parser.parse_args(argv)
    if args.command == "snapshot":
        return _snapshot(args)
    if args.command == "diff":
        return _diff(args)
    if args.command == "check":
        return _check(args.files)
    if args.command == "dump":
        return _dump(args.file)
    sys.stdout.write(schema_text())
    return 0


if __name__ == "__main__":
    sys.exit(main())
