"""Helpers shared by the web back-end's modules."""

import functools
import ipaddress

# The management network of the switch: one connected subnet on VLAN 1 and a
# default route through its gateway.
_MGMT_NETWORK = ipaddress.ip_network("192.168.1.0/24")
_GATEWAY = "192.168.1.254"
_INTERFACE = "vlan1"


def _routes():
    return [
        {"destination": str(_MGMT_NETWORK), "gateway": "0.0.0.0",
         "interface": _INTERFACE, "metric": 0, "protocol": "connected"},
        {"destination": "0.0.0.0/0", "gateway": _GATEWAY,
         "interface": _INTERFACE, "metric": 1, "protocol": "static"},
    ]


# Parsed once: the switch's table is fixed, and a trace asks for it per hop.
_NETWORKS = {str(_MGMT_NETWORK): _MGMT_NETWORK,
             "0.0.0.0/0": ipaddress.ip_network("0.0.0.0/0")}


def _serves(route, address):
    return address in _NETWORKS[route["destination"]]


def _parse(ip):
    try:
        return ipaddress.ip_address(ip)
    except ValueError:
        return None


_parse_cached = functools.lru_cache(maxsize=64)(_parse)  # a trace asks per hop


def _address(ip):
    try:
        return _parse_cached(ip)
    except TypeError:  # unhashable
        return _parse(ip)


def get_routing_table_result(ip):
    """The routing-table entries the switch holds for reaching ip.

    Returns a list of route dicts (destination, gateway, interface, metric,
    protocol, selected); "selected" marks the route that carries traffic to
    ip, the longest match. An address that cannot be parsed selects nothing.
    """
    address = _address(ip)
    routes = _routes()
    chosen = None
    if address is not None and address.version == 4:
        chosen = next((r for r in routes if _serves(r, address)), None)
    for route in routes:
        route["selected"] = route is chosen
    return routes
