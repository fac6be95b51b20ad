from concurrent.futures.process import BrokenProcessPool

import zel.zel_util as zu


def http_error(error):
    """(status, JSON body) answering an exception of a zel.zel_util call whose
    arguments came from the request."""
    if isinstance(error, zu.CFunctionError):
        function, *code = error.args
        if function == "PyMem_Malloc":
            return 503, {"error": "the switch is short of memory, try again"}
        return 502, {"error": "platform call failed", "function": function,
                     "code": code[0] if code else None}
    if isinstance(error, BrokenProcessPool):  # the worker died; the next call starts another
        return 503, {"error": "the platform worker restarted, try again"}
    if isinstance(error, (IndexError, UnicodeDecodeError)):
        return 502, {"error": "unreadable platform data", "detail": str(error)}
    if isinstance(error, (TypeError, ValueError, OverflowError)):  # UnicodeEncodeError included
        return 400, {"error": str(error)}
    return 500, {"error": "internal error"}
