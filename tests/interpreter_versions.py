"""What the interpreter itself shows differently from one minor version to
the next, where a test compares the module against it. The module behaves
identically on every version: these are the interpreter's own changes, each
stated here once."""

import sys


def pydoc_signature(name, signature):
    """`signature` of the function `name` as pydoc's plain text shows it after
    the name. From 3.13 on, pydoc puts a signature that would take the line
    past 80 columns one parameter a line."""
    if sys.version_info < (3, 13) or len(name) + len(signature) <= 80:
        return signature
    parameters = signature[1:-1].split(", ")
    return "(\n" + ",\n".join(f"    {p}" for p in parameters) + "\n)"


def warns_of_cgi():
    """Whether importing webob warns that the standard library's cgi module
    is deprecated. 3.13 removed that module: webob then takes the
    legacy-cgi package, which does not warn, so the filter for it is kept
    for 3.12 but lets nothing through on 3.13."""
    return sys.version_info < (3, 13)
