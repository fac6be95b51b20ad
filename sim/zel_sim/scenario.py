"""Scenarios: TOML descriptions of a switch, turned into scripts.

The schema is documented in default.toml, the scenario the simulator applies
by default. A scenario replaces the whole platform; with ``extends =
"default"`` it starts from the default scenario instead, its own sections
replacing the default's section by section ([fail] entries are merged).
"""

import datetime
import functools
import os
import pathlib
import tomllib

from . import Step, records, script, set_hostname

DEFAULT_PATH = pathlib.Path(__file__).with_name("default.toml")

_SECTIONS = {"extends", "system", "dot1x", "hardware", "mtraceroute", "traceroute", "fail"}


def read(source):
    """A scenario dict from a path, TOML text or a dict."""
    if isinstance(source, dict):
        data = source
    elif isinstance(source, os.PathLike) or (isinstance(source, str) and _looks_like_path(source)):
        data = tomllib.loads(pathlib.Path(source).read_text(encoding="utf-8"))
    elif isinstance(source, str):
        data = tomllib.loads(source)
    else:
        raise TypeError(f"a scenario is a path, TOML text or dict, not {type(source).__name__}")
    return _extend(data)


def _looks_like_path(text):
    one_line = "\n" not in text
    return one_line and ("=" not in text or os.path.isfile(text))


@functools.cache
def _default_text():
    return DEFAULT_PATH.read_text(encoding="utf-8")


def default():
    """The embedded default scenario."""
    return tomllib.loads(_default_text())


def _extend(data):
    unknown = set(data) - _SECTIONS
    if unknown:
        raise ValueError(f"unknown scenario sections: {sorted(unknown)}")
    base = data.get("extends")
    if base is None:
        return data
    if base != "default":
        raise ValueError(f"a scenario can only extend 'default', not {base!r}")
    merged = {**default(), **data}
    merged["fail"] = {**default().get("fail", {}), **data.get("fail", {})}
    del merged["extends"]
    return merged


# ---- sections ------------------------------------------------------------------


def _system(section, out):
    out["plat_switch_get_data_channel_unit"] = [Step(section.get("data_channel_unit", 0))]
    out["sms_do_flush"] = [Step(section.get("flush_result", 0))]
    out["is_diag_debug_enabled"] = [Step(int(section.get("diag_debug", 0)))]
    out["check_create_zel_query"] = [Step(section.get("config_result", 0))]
    out["zel_query_update"] = [Step(1 if section.get("query_update", True) else 0)]
    out["nCfg_obj_change"] = [Step(section.get("config_result", 0))]
    out["backupts_GetTimeStamp"] = [_backup(section.get("backup_time", False))]
    out[("dump_tessel_802_1x_status", None)] = [Step(section.get("unknown_port_result", -1))]


def _backup(value):
    if value is False or value is None:
        return Step(0)
    if isinstance(value, str):
        value = datetime.datetime.fromisoformat(value)
    if isinstance(value, datetime.datetime):
        value = int(value.timestamp())
    return Step(1, records.timestamp(value))


_PORT_KEYS = {"interface", "result", "delay", "count", "sessions"}


def _dot1x(ports, out):
    # Interfaces the scenario does not describe do not exist on this switch.
    out.setdefault(("dump_tessel_802_1x_status", None), [Step(-1)])
    for port in ports:
        fields = {k: v for k, v in port.items() if k not in _PORT_KEYS}
        fields.setdefault("name", port["interface"])
        record = records.dot1x_status(count=port.get("count"),
                                      sessions=port.get("sessions", []), **fields)
        step = Step(port.get("result", 1), record, port.get("delay", 0.0))
        out[("dump_tessel_802_1x_status", port["interface"])] = [step]


def _hardware(section, out):
    psus = [(p["name"], p.get("ok", 1), p.get("connected", 1)) for p in section.get("psu", [])]
    out["get_temp_list"] = [Step(0, records.temp_list(section.get("temperatures", [])))]
    out["get_psu_list"] = [Step(0, records.psu_list(psus))]
    out["get_flash_list"] = [Step(0, records.flash_list(section.get("flash", [])))]


def _mtraceroute(section, out):
    out["api_mtraceroute"] = [Step(section.get("result", 0), delay=section.get("delay", 0.0))]


def _hop_steps(hops):
    steps = []
    for index, hop in enumerate(hops):
        last = index == len(hops) - 1
        probes = [tuple(p) for p in hop.get("probes", [])]
        record = records.trace_response(hop.get("ttl", index + 1), hop.get("ip", ""),
                                        hop.get("host", ""), probes, hop.get("probe_count"))
        steps.append(Step(hop.get("result", 1 if last else 0), record, hop.get("delay", 0.0)))
    return steps


def _traceroute(section, out):
    header = records.trace_header(
        section.get("host_name", ""), section.get("ip_address", ""), section.get("hops", 30),
        section.get("probes", 3), section.get("timeout", 5), section.get("package_size", 60))
    context = records.trace_context(section.get("reply_mtu", 1500))
    out["init_trace_route"] = [Step(section.get("result", 1), header,
                                    section.get("delay", 0.0), context)]
    out["query_trace_route"] = _hop_steps(section.get("hop", []))


def _fail(section, out):
    for fn, result in section.items():
        for key in [k for k in out if k == fn or (isinstance(k, tuple) and k[0] == fn)]:
            del out[key]
        out[fn] = [Step(result)]


def compile_scripts(data):
    """{fn or (fn, key): [Step, ...]} for a scenario dict."""
    out = {}
    builders = [("system", _system), ("dot1x", _dot1x), ("hardware", _hardware),
                ("mtraceroute", _mtraceroute), ("traceroute", _traceroute), ("fail", _fail)]
    for name, build in builders:
        if name in data:
            build(data[name], out)
    return out


def apply(data):
    """Installs the scripts of a scenario over the current ones."""
    for target, steps in compile_scripts(data).items():
        fn, key = target if isinstance(target, tuple) else (target, None)
        script(fn, *steps, key=key)
    hostname = data.get("system", {}).get("hostname")
    if hostname is not None:
        set_hostname(hostname)
