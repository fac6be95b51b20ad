"""Status report of the switch, read through zel.zel_util.

Run in the project's environment, the module talks to the device simulator
and its embedded default scenario; on the device, to the platform itself.
"""

import argparse
import sys

import zel.zel_util as zu

WIDTH = 72


def heading(title):
    print()
    print(f"== {title} " + "=" * max(0, WIDTH - len(title) - 4))


def row(label, value):
    print(f"  {label:<34} {value}")


def configuration():
    heading("Configuration")
    backup = zu.get_last_backup()
    row("last configuration backup", backup.isoformat(sep=" ") if backup else "never")
    row("diagnostic debugging", "enabled" if zu.get_diag_debug_status() else "disabled")
    row("configuration buffer limit", f"{zu.get_cmdb_max_buff()} bytes")
    row("default STP instance priority", zu.stp_instance_priority_default())


SECTIONS = [configuration]


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.parse_args(argv)
    print("Switch status report")
    for section in SECTIONS:
        section()
    print()
    return 0


if __name__ == "__main__":
    sys.exit(main())
