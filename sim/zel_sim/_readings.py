"""The [system] values the platform answers with as they are, each with the
module function that returns it unchanged. Read by the scripts a scenario
makes and by a snapshot, which may run where only the package's own files
are installed: nothing here needs more than the standard library."""

from __future__ import annotations

from typing import NamedTuple


class Reading(NamedTuple):
    """A [system] field the platform answers with as it is, and the module
    function that returns it unchanged: the field's script and what a
    snapshot writes of it are both made from this."""

    function: str  # the platform function that answers with the value
    operation: str  # the module function, without arguments, that returns it
    # The struct format of the unsigned value the platform function writes
    # through its pointer, with result 0; "" when the value is its result.
    out: str = ""


# Field of System (sim/zel_sim/_sections.py): how the platform answers with it.
READINGS = {
    "diag_debug": Reading("is_diag_debug_enabled", "get_diag_debug_status"),
}
