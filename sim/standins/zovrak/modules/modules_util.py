"""Helpers shared by the web back-end's modules."""

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


def _serves(route, address):
    return address in ipaddress.ip_network(route["destination"])


def get_routing_table_result(ip):
    """The routing-table entries the switch holds for reaching ip.

    Returns a list of route dicts (destination, gateway, interface, metric,
    protocol, selected); "selected" marks the route that carries traffic to
    ip, the longest match. An address that cannot be parsed selects nothing.
    """
    try:
        address = ipaddress.ip_address(ip)
    except ValueError:
        address = None
    routes = _routes()
    chosen = None
    if address is not None and address.version == 4:
        chosen = next((r for r in routes if _serves(r, address)), None)
    for route in routes:
        route["selected"] = route is chosen
    return routes
