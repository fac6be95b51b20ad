"""Status report of the switch, read through zel.zel_util.

Run in the project's environment, the module talks to the device simulator
and its embedded default scenario; on the device, to the platform itself.
"""

import argparse
import os
import sys

import zel.zel_util as zu

WIDTH = 72


def heading(title):
    print()
    print(f"== {title} " + "=" * max(0, WIDTH - len(title) - 4))


def row(label, value):
    print(f"  {label:<34} {value}")


NET_CLASS = "/sys/class/net"


def traffic_ports():
    """lo and the first other interface that the kernel keeps counters for."""
    try:
        names = sorted(os.listdir(NET_CLASS))
    except OSError:
        names = []
    with_stats = [n for n in names if os.path.isdir(os.path.join(NET_CLASS, n, "statistics"))]
    others = [n for n in with_stats if n != "lo"]
    return ["lo"] + others[:1]


def ports():
    heading("Ports")
    for port in traffic_ports():
        stats = zu.system_port_traffic(port)
        row(f"{port} transmitted", f"{stats.tx_packets} packets, {stats.tx_bytes} bytes")
        row(f"{port} received", f"{stats.rx_packets} packets, {stats.rx_bytes} bytes")
    simulated_changes()


def simulated_changes():
    """A sticky MAC flush and a hostname change with its undoing, made on the
    simulated switch only: on the device the report changes nothing."""
    try:
        import zel_sim
    except ImportError:
        return
    row("sticky MAC flush, all ports", f"status {zu.delete_sticky_mac_unsaved()}")
    row("sticky MAC flush, gi1/0/1", f"status {zu.delete_sticky_mac_unsaved('gi1/0/1')}")
    original = zel_sim.hostname()
    row("hostname", original.decode("latin-1"))
    row("set_hostname('zel-demo-sw')", f"status {zu.set_hostname('zel-demo-sw')}")
    row("hostname now", zel_sim.hostname().decode("latin-1"))
    row("set_hostname back", f"status {zu.set_hostname(original)}")
    row("hostname now", zel_sim.hostname().decode("latin-1"))


def configuration():
    heading("Configuration")
    backup = zu.get_last_backup()
    row("last configuration backup", backup.isoformat(sep=" ") if backup else "never")
    row("diagnostic debugging", "enabled" if zu.get_diag_debug_status() else "disabled")
    row("configuration buffer limit", f"{zu.get_cmdb_max_buff()} bytes")
    row("default STP instance priority", zu.stp_instance_priority_default())


SECTIONS = [ports, configuration]


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
