"""Errors raised by the back-end's native modules."""


class CFunctionError(Exception):
    """A platform C function failed.

    Raised with the failing function's name and, when the function returned a
    status code, that code: ``CFunctionError("get_temp_list", -1)``, or
    ``CFunctionError("PyMem_Malloc")`` when there is none.
    """

    @property
    def function(self):
        """Name of the C function that failed, or None."""
        return self.args[0] if self.args else None

    @property
    def code(self):
        """Status code the function returned, or None."""
        return self.args[1] if len(self.args) > 1 else None
