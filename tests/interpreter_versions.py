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
