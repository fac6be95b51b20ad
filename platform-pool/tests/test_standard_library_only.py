"""The pool installs on the switch beside the module: its package imports
nothing but the standard library and itself."""

import ast
import pathlib
import sys

import zel_platform_pool

PACKAGE = pathlib.Path(zel_platform_pool.__file__).parent


def imported_modules(path):
    tree = ast.parse(path.read_text(encoding="utf-8"))
    for node in ast.walk(tree):
        if isinstance(node, ast.Import):
            yield from (alias.name for alias in node.names)
        elif isinstance(node, ast.ImportFrom) and node.level == 0:
            yield node.module


def test_every_import_is_of_the_standard_library():
    outside = {(path.name, name) for path in PACKAGE.glob("*.py")
               for name in imported_modules(path)
               if name.split(".")[0] not in sys.stdlib_module_names | {"zel_platform_pool"}}
    assert not outside
