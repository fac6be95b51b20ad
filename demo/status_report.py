"""Status report of the switch, read through zel.zel_util.

Run in the project's environment, the module talks to the device simulator
and its embedded default scenario; on the device, to the platform itself.
"""

import argparse
import os
import sys
import threading
import time

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


def show_hop(hop):
    probes = [v if v is not None else "*" for k, v in hop.items() if k.startswith("time")]
    name = hop["hostName"] or hop["ipAddress"]
    line = f"  {hop['ttl']:>3}  {name:<22} {hop['ipAddress']:<16} " + "  ".join(probes)
    print(line, flush=True)  # each hop as it arrives, also through a pipe


def show_header(header):
    row("destination", f"{header['hostName']} ({header['ipAddress']}), "
        f"{header['hops']} hops max, {header['packageSize']} byte packets")


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


def launch_multicast(group="239.1.1.1"):
    r_file = zu.get_safe_r_file()
    if r_file is None:
        row("multicast traceroute", "no free result file")
        return
    path = f"/tmp/mtraceroute_{r_file}"
    try:
        row("multicast traceroute result file", path)
        row(f"multicast traceroute to {group}", zu.exec_mtraceroute(r_file, group))
    finally:
        os.remove(path)  # the demo leaves nothing behind in /tmp


def traceroute(target="ns1.example.net"):
    heading(f"Traceroute to {target}")
    context, failure = watch_trace(target)
    if failure is not None:
        row("trace failed", repr(failure))
    elif context.get("result") == -1:
        row("trace", "could not be started")
    else:
        row("trace result", context["result"])
    launch_multicast()


SECTIONS = [configuration, traceroute]


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
