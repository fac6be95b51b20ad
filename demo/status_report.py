"""Status report of the switch, read through zel.zel_util.

Run in the project's environment, the module talks to the device simulator,
and the report covers the 802.1X interfaces, ports and trace destinations of
the scenario the simulator runs (--scenario FILE, ZEL_SIM_SCENARIO, or the
default switch); on the device, to the platform itself. A platform call that
fails is shown in place of its item; the rest of the report is still read.
"""

import argparse
import datetime
import json
import os
import pathlib
import sys
import threading
import time
import typing
import warnings

# The module imports pyramid.compat, which warns that it goes away in
# Pyramid 2; not news for a status report.
warnings.filterwarnings("ignore", "`pyramid.compat` is deprecated", DeprecationWarning)

import zel.zel_util as zu  # noqa: E402

WIDTH = 72


def heading(title):
    print()
    print(f"== {title} " + "=" * max(0, WIDTH - len(title) - 4))


def row(label, value):
    print(f"  {label:<34} {value}")


# What the report covers on the device, where no scenario says it.
DEVICE_DOT1X_PORTS = ["gi1/0/1", "gi1/0/2", "gi1/0/3", "gi1/0/4"]
TRACE_TARGET = "ns1.example.net"
MULTICAST_GROUP = "239.1.1.1"


class Targets(typing.NamedTuple):
    """The 802.1X interfaces, counter ports and trace destinations to report."""

    dot1x: list
    ports: list
    traces: list


def scenario_targets(chosen):
    """Those of a simulator scenario: its [[dot1x]] interfaces, its [[port]]
    names (and the host's loopback, read from the kernel), the target of its
    [traceroute] route and each [[traceroute.destination]]."""
    route = chosen.traceroute
    default = route.host_name or route.ip_address or TRACE_TARGET
    return Targets([p.interface for p in chosen.dot1x], [p.name for p in chosen.port] + ["lo"],
                   [default] + [d.target for d in route.destination if d.target != default])


def targets(chosen=None):
    """Of the scenario just applied, else of the one the simulator started
    with; on the device, the access ports and the kernel's interfaces."""
    if chosen is None:
        try:
            import zel_sim
        except ImportError:
            return Targets(DEVICE_DOT1X_PORTS, traffic_ports(), [TRACE_TARGET])
        chosen = zel_sim.start_scenario()
    return scenario_targets(chosen)


def failure(error):
    """A failure as the page shows it: a platform call by its name and the
    status it answered, anything else as the exception it is."""
    if isinstance(error, zu.CFunctionError) and error.args:
        function, *status = error.args
        return f"{function}" + "".join(f" answered {code}" for code in status)
    return repr(error)


def failed(error):
    return f"failed: {failure(error)}"


def platform_status(code):
    """A status handed back unchanged: its meaning is the platform's."""
    return f"platform status {code}"


def listed(*parts):
    """The non-empty parts, comma-separated: an empty field shows nothing."""
    return ", ".join(part for part in parts if part)


def labelled(label, text):
    return f"{label} {text}" if text else ""


def shown(label, read, show=str):
    """One item of the report: its value, or the failure of its platform
    call in its place."""
    try:
        value = read()
    except Exception as error:  # a scenario may fail any platform call
        row(label, failed(error))
        return None
    row(label, show(value))
    return value


def dot1x_port(status):
    # The platform gives the mode and the MAB setting as bare codes, whose
    # meaning is its own: they are shown as codes, not guessed at.
    def vlan(flag, name):
        return (name or "on") if flag else "off"

    def line(text):
        print(f"  {'':<9} {text}".rstrip())

    print(f"  {status['name']:<9} " + listed(labelled("link", status["link_status"]),
                                            status["port_status"]))
    line(listed(f"802.1X mode code {status['mode']}", f"MAB setting {status['mab']}",
                labelled("EAP pass-through", status["eap_pass_through"])))
    line("VLAN " + listed(f"native {status['native_vlanid']}",
                          f"dynamic {status['dynamic_vlanid']}",
                          labelled("allowed", status["allowed_vlanid"]),
                          labelled("untagged", status["untagged_vlanid"])))
    line(f"guest: {vlan(status['guest_vlan_enable'], status['guest_vlan'])}, "
         f"auth-fail: {vlan(status['auth_fail_vlan_enable'], status['auth_fail_vlan'])}")


def dot1x_sessions(sessions):
    if not sessions:
        print(f"  {'':<9} no sessions")
        return
    print(f"  {'':<9} {'MAC':<17}  {'type':<6}  {'PAE':<14}  {'VLAN':>4}  {'time':>11}  user")
    for s in sessions:
        vlan = s["dynamic_assigned_vlan_id"] or s["traffic_vlan_id"]
        line = (f"  {'':<9} {s['mac']:<17}  {s['type']:<6}  {s['pae']:<14}  {vlan:>4}  "
                f"{s['elapsed_time']:>11}  {s['user']}")
        print(line.rstrip())


def dot1x(targets):
    heading("802.1X")
    if not targets.dot1x:
        print("  no 802.1X interfaces")
    for name in targets.dot1x:
        try:
            status = zu.get_8021x_status(name)
        except zu.CFunctionError as error:
            print(f"  {name}: no 802.1X state ({failure(error)})")
            continue
        dot1x_port(status)
        try:
            sessions = zu.get_8021x_sessions(name)
        except Exception as error:
            print(f"  {'':<9} sessions {failed(error)}")
            continue
        dot1x_sessions(sessions)


def supplies(psus):
    for psu in psus:
        connected = "connected" if psu.connected else "not connected"
        row(psu.name, f"{connected}, {'ok' if psu.ok else 'FAULT'}")


def flash(partitions):
    if not partitions:
        row("flash partitions", "none")
        return
    flash_line = "  {:>9}  {:<24} {:>9} {:>9} {:>6}  {}"
    print("  flash (sizes and usage in the platform's units)")
    print(flash_line.format("partition", "image", "used", "total", "usage", "active"))
    for part in partitions:
        line = flash_line.format(part["partition"], part["image"] or "(no image)",
                                 part["used_size"], part["tot_size"], part["usage"],
                                 "yes" if part["active"] else "")
        print(line.rstrip())


def sensor_count():
    if zu.multiple_temperature_sensors():
        return "more than one"
    return "one" if zu.has_temperature_sensor() else "none"


def temperatures(readings):
    # The readings carry the platform's unit, which it does not name.
    if not readings:
        return "none"
    return ", ".join(f"{t:g}" for t in readings) + " (in the platform's unit)"


def hardware(targets):
    # Each reading from its own platform list: one failing hides none of the others.
    heading("Hardware")
    shown("temperature sensors", sensor_count)
    shown("temperatures", zu.system_temperatures, temperatures)
    try:
        supplies(zu.psu_list())
    except Exception as error:
        row("power supplies", failed(error))
    print()
    try:
        flash(zu.get_flashs())
    except Exception as error:
        row("flash partitions", failed(error))


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


def ports(targets):
    heading("Ports")
    for port in targets.ports:
        stats = shown(f"{port} transmitted", lambda: zu.system_port_traffic(port),
                      lambda stats: f"{stats.tx_packets} packets, {stats.tx_bytes} bytes")
        if stats is not None:
            row(f"{port} received", f"{stats.rx_packets} packets, {stats.rx_bytes} bytes")
    simulated_changes(targets)


SIMULATOR_HOSTNAME = "hostname (simulator's record)"


def simulated_changes(targets):
    """A sticky MAC flush and a hostname change with its undoing, made on the
    simulated switch only: on the device the report changes nothing."""
    try:
        import zel_sim
    except ImportError:
        return
    shown("sticky MAC flush, all ports", zu.delete_sticky_mac_unsaved, platform_status)
    for port in (targets.dot1x or [p for p in targets.ports if p != "lo"])[:1]:
        shown(f"sticky MAC flush, {port}", lambda: zu.delete_sticky_mac_unsaved(port),
              platform_status)
    # The module sets the hostname and never reads it: what is shown is the
    # simulator's record of the committed name (zel_sim.hostname()).
    original = zel_sim.hostname()
    row(SIMULATOR_HOSTNAME, original.decode("latin-1") or "(none)")
    for label, name in (("hostname change to zel-demo-sw", b"zel-demo-sw"),
                        ("hostname change back", original)):
        shown(label, lambda: zu.set_hostname(name),
              lambda status: hostname_change(status, name, zel_sim.hostname()))


def hostname_change(status, wanted, now):
    """What a hostname change did: -1 is the module's answer when the
    configuration database gives no update record; any other status is
    the database's own, and the hostname read back tells what happened."""
    if status == -1:
        return "not committed: no update record (status -1)"
    outcome = "committed" if now == wanted else "not committed"
    return f"{outcome} ({platform_status(status)})"


def backup_time(backup):
    # A naive local time: shown with the zone it is in.
    if backup is None:
        return "never"
    return backup.astimezone().strftime("%Y-%m-%d %H:%M:%S %Z")


def configuration(targets):
    heading("Configuration")
    shown("last configuration backup", zu.get_last_backup, backup_time)
    shown("diagnostic debugging", zu.get_diag_debug_status,
          lambda on: "enabled" if on else "disabled")
    shown("configuration buffer limit", zu.get_cmdb_max_buff, lambda size: f"{size} bytes")
    shown("default STP instance priority", zu.stp_instance_priority_default)


def show_hop(hop):
    probes = [v if v is not None else "*" for k, v in hop.items() if k.startswith("time")]
    name = hop["hostName"] or hop["ipAddress"]
    line = f"  {hop['ttl']:>3}  {name:<22} {hop['ipAddress']:<16} " + "  ".join(probes)
    print(line, flush=True)  # each hop as it arrives, also through a pipe


def show_header(header):
    name, address = header["hostName"], header["ipAddress"]
    where = f"{name} ({address})" if name and address else name or address or "(unnamed)"
    row("destination", f"{where}, {header['hops']} hops max, "
        f"{header['packageSize']} byte packets")
    row("probe times", "in the platform's unit; * no reply")


def watch_trace(target, poll_seconds=0.05):
    """Runs the trace on a worker thread and shows each hop as it arrives,
    reading the shared context from this thread while the call runs, as the
    web back-end does. Returns the context and the trace's error, if any."""
    context, failure = {}, []

    def run():
        try:
            zu.get_diagnostic_data(context, target)
        except Exception as exc:  # reported after the hops seen so far
            failure.append(exc)

    worker = threading.Thread(target=run, name="traceroute")
    worker.start()
    shown, header_shown = 0, False
    while True:
        running = worker.is_alive()  # checked before reading: no late hop is missed
        if not header_shown and "traceRouteHeader" in context:
            show_header(context["traceRouteHeader"])
            header_shown = True
        routes = context.get("routes", [])
        for hop in routes[shown:]:
            show_hop(hop)
        shown = len(routes)
        if not running:
            break
        time.sleep(poll_seconds)
    worker.join()
    return context, failure[0] if failure else None


def launch_multicast(group=MULTICAST_GROUP):
    r_file = zu.get_safe_r_file()
    if r_file is None:
        row("multicast traceroute", "no free result file")
        return
    path = f"/tmp/mtraceroute_{r_file}"
    try:
        row("multicast traceroute result file", path)
        shown(f"multicast traceroute to {group}", lambda: zu.exec_mtraceroute(r_file, group),
              platform_status)
    finally:
        os.remove(path)  # the demo leaves nothing behind in /tmp


def trace_outcome(context):
    """The trace's result key in words: -1 never started, 1 the last hop
    was reported; any other value means more hops were to follow."""
    result, hops = context.get("result"), len(context.get("routes", []))
    counted = f"{hops} hop" + ("" if hops == 1 else "s")
    if result == -1:
        return "could not be started"
    if result == 1:
        return f"complete, {counted}"
    return f"incomplete after {counted} (last query result {result})"


def traceroute(targets):
    for target in targets.traces:
        heading(f"Traceroute to {target}")
        context, failure = watch_trace(target)
        if failure is not None:
            row("trace", failed(failure))
        else:
            row("trace", trace_outcome(context))
    print()
    try:
        launch_multicast()
    except Exception as error:
        row("multicast traceroute", failed(error))


SECTIONS = [dot1x, hardware, ports, configuration, traceroute]


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument(
        "--scenario", metavar="FILE", type=pathlib.Path,
        help="simulator only: put the simulated switch into the state this TOML scenario "
             "describes (format: sim/zel_sim/default.toml) before reading it")
    parser.add_argument("--json", action="store_true",
                        help="print the report's data as one JSON document instead")
    args = parser.parse_args(argv)
    chosen = None
    if args.scenario is not None:
        chosen = apply_scenario(parser, args.scenario)
    covered = targets(chosen)
    if args.json:
        json.dump(json_report(covered), sys.stdout, indent=2, default=json_value)
        print()
        return 0
    print("Switch status report")
    for section in SECTIONS:
        try:
            section(covered)
        except Exception as error:  # anything the items do not catch; show the rest
            print(f"  this section failed: {error!r}")
    print()
    return 0


def apply_scenario(parser, path):
    try:
        import zel_sim
    except ImportError:
        parser.error("--scenario needs the device simulator (zel-sim), which is not installed")
    try:
        return zel_sim.load_scenario(path)
    except zel_sim.ScenarioError as error:  # names the file and what is wrong where
        parser.error(str(error))
    except Exception as error:
        parser.error(f"scenario {path}: {error}")


# ---- the report as data (--json) ------------------------------------------------
# Read through the module's functions directly, item by item; an item whose
# platform call fails holds {"error": ...} and the others are still read.


def json_report(targets):
    return {
        "dot1x": {port: collected(dot1x_data, port) for port in targets.dot1x},
        "hardware": collected(hardware_data),
        "ports": {port: collected(lambda: zu.system_port_traffic(port)._asdict())
                  for port in targets.ports},
        "configuration": collected(configuration_data),
        "traceroute": collected(traceroute_data, targets.traces),
    }


def collected(read, *args):
    try:
        return read(*args)
    except Exception as error:
        return {"error": repr(error)}


def dot1x_data(port):
    return {"status": zu.get_8021x_status(port), "sessions": zu.get_8021x_sessions(port)}


def hardware_data():
    # Each from its own platform list: one failing hides none of the others.
    return {
        "temperatures": collected(zu.system_temperatures),
        "has_temperature_sensor": collected(zu.has_temperature_sensor),
        "multiple_temperature_sensors": collected(zu.multiple_temperature_sensors),
        "power_supplies": collected(lambda: [psu._asdict() for psu in zu.psu_list()]),
        "flash": collected(zu.get_flashs),
    }


def configuration_data():
    return {
        "last_backup": collected(zu.get_last_backup),
        "diag_debug": collected(zu.get_diag_debug_status),
        "cmdb_max_buff": collected(zu.get_cmdb_max_buff),
        "stp_instance_priority_default": collected(zu.stp_instance_priority_default),
    }


def trace_data(target):
    context = {}
    zu.get_diagnostic_data(context, target)
    return context


def traceroute_data(traces):
    """The first target's trace and the multicast launch; the trace of each
    other destination under "destinations"."""
    first, *others = traces
    return {"target": first, "context": collected(trace_data, first),
            "multicast": collected(multicast_data),
            "destinations": {target: collected(trace_data, target) for target in others}}


def multicast_data():
    r_file = zu.get_safe_r_file()
    if r_file is None:
        return {"group": MULTICAST_GROUP, "result_file": None}
    path = f"/tmp/mtraceroute_{r_file}"
    try:
        return {"group": MULTICAST_GROUP, "result_file": path,
                "result": zu.exec_mtraceroute(r_file, MULTICAST_GROUP)}
    finally:
        os.remove(path)  # the demo leaves nothing behind in /tmp


def json_value(value):
    """What json cannot write by itself: the backup time."""
    if isinstance(value, datetime.datetime):
        return value.isoformat()
    raise TypeError(f"{type(value).__name__} is not JSON serialisable")


if __name__ == "__main__":
    sys.exit(main())
