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


# The 802.1X ports to report; those of the simulator's default scenario.
DOT1X_PORTS = ["gi1/0/1", "gi1/0/2", "gi1/0/3", "gi1/0/4"]


def dot1x_port(status):
    def vlan(flag, name):
        return name if flag else "off"

    print(f"  {status['name']:<9} link {status['link_status']}, {status['port_status']}, "
          f"mode {status['mode']}, MAB {status['mab']}, "
          f"EAP pass-through {status['eap_pass_through']}")
    print(f"  {'':<9} VLAN native {status['native_vlanid']}, dynamic {status['dynamic_vlanid']}, "
          f"allowed {status['allowed_vlanid']}, untagged {status['untagged_vlanid']}")
    print(f"  {'':<9} guest: {vlan(status['guest_vlan_enable'], status['guest_vlan'])}, "
          f"auth-fail: {vlan(status['auth_fail_vlan_enable'], status['auth_fail_vlan'])}")


def dot1x_sessions(sessions):
    if not sessions:
        print(f"  {'':<9} no sessions")
        return
    print(f"  {'':<9} {'MAC':<17}  {'type':<6}  {'PAE':<14}  {'VLAN':>4}  {'time':>11}  user")
    for s in sessions:
        vlan = s["dynamic_assigned_vlan_id"] or s["traffic_vlan_id"]
        print(f"  {'':<9} {s['mac']:<17}  {s['type']:<6}  {s['pae']:<14}  {vlan:>4}  "
              f"{s['elapsed_time']:>11}  {s['user']}")


def dot1x():
    heading("802.1X")
    for name in DOT1X_PORTS:
        try:
            status = zu.get_8021x_status(name)
        except zu.CFunctionError as error:
            print(f"  {name}: no 802.1X state ({error.args[-1]})")
            continue
        dot1x_port(status)
        dot1x_sessions(zu.get_8021x_sessions(name))


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


SECTIONS = [dot1x, hardware, ports, configuration]


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
