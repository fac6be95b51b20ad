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


def hardware():
    heading("Hardware")
    readings = zu.system_temperatures()
    if zu.multiple_temperature_sensors():
        sensors = "several"
    else:
        sensors = "one" if zu.has_temperature_sensor() else "none"
    row("temperature sensors", sensors)
    row("temperatures", ", ".join(f"{t:g}" for t in readings) or "-")
    for psu in zu.psu_list():
        connected = "connected" if psu.connected else "not connected"
        row(psu.name, f"{connected}, {'ok' if psu.ok else 'FAULT'}")
    print()
    flash_line = "  {:>9}  {:<24} {:>9} {:>9} {:>6}  {}"
    print(flash_line.format("partition", "image", "used", "total", "usage", "active"))
    for part in zu.get_flashs():
        line = flash_line.format(part["partition"], part["image"] or "(empty)",
                                 part["used_size"], part["tot_size"], part["usage"],
                                 "yes" if part["active"] else "")
        print(line.rstrip())


def configuration():
    heading("Configuration")
    backup = zu.get_last_backup()
    row("last configuration backup", backup.isoformat(sep=" ") if backup else "never")
    row("diagnostic debugging", "enabled" if zu.get_diag_debug_status() else "disabled")
    row("configuration buffer limit", f"{zu.get_cmdb_max_buff()} bytes")
    row("default STP instance priority", zu.stp_instance_priority_default())


SECTIONS = [hardware, configuration]


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
