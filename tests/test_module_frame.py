"""Import semantics, sibling exports and the module-level objects."""

import sys
import traceback

import pytest

import zel.zel_util
from operations import OPERATIONS

# Every module-level name other than the operations, in the order the module
# binds it (where the operations fall among them, docs/reference.md says and
# test_reference checks).
MODULE_ORDER = [
    "get_routing_table_result", "namedtuple", "CFunctionError", "datetime", "getLogger",
    "bytes_", "text_", "IntEnum", "sleep", "os", "fcntl", "_logger", "_KEY", "_CHARSET",
    "_HAS_TEMPERATURE_SENSOR", "_MULTIPLE_TEMPERATURE_SENSORS", "PSU", "SystemPortStats",
    "TraceRouteSettings", "ICMP_CODES_FOR_CHARACTERS", "__test__",
]


class TestImport:
    def test_reimport_gives_the_same_module(self):
        first = sys.modules.pop("zel.zel_util")
        try:
            import zel.zel_util as again
            assert again is first
            assert again.get_cmdb_max_buff is first.get_cmdb_max_buff
        finally:
            sys.modules["zel.zel_util"] = first

    def test_module_attributes_from_the_spec(self):
        m = zel.zel_util
        assert m.__name__ == "zel.zel_util"
        assert m.__package__ == "zel"
        assert m.__file__.endswith(".so")
        assert m.__loader__.path == m.__file__ == m.__spec__.origin
        assert not hasattr(m, "__path__")
        assert m.__builtins__ is __import__("builtins")

    def test_second_interpreter_is_refused(self, python):
        proc = python("""
            import _testcapi
            import zel.zel_util as z
            status = _testcapi.run_in_subinterp("import zel.zel_util")
            print("status", status)
            print("still works:", z.get_cmdb_max_buff())
        """)
        assert ("ImportError: Interpreter change detected - this module can only be loaded "
                "into one interpreter per process.") in proc.stderr
        assert proc.stdout.split("\n")[:2] == ["status -1", "still works: 4095"]

    @pytest.mark.parametrize("sibling", [
        "pyramid.compat", "util.errors", "zovrak.modules.modules_util", "zel.zel",
        "util.string", "migbase.migbase",
    ])
    def test_missing_sibling_fails_and_a_later_import_succeeds(self, python, sibling):
        proc = python(f"""
            import sys, traceback
            sys.modules[{sibling!r}] = None
            try:
                import zel.zel_util
            except ImportError as exc:
                names = [f.name for f in traceback.extract_tb(exc.__traceback__)]
                print("failed", "init zel.zel_util" in names)
            assert "zel.zel_util" not in sys.modules
            del sys.modules[{sibling!r}]
            import zel.zel_util as z
            print("ok", z.get_cmdb_max_buff(), z._CHARSET)
        """)
        assert proc.stdout.split("\n")[:2] == ["failed True", "ok 4095 utf-8"]


CAPSULE_HELPERS = """
    import ctypes, sys, types
    new_capsule = ctypes.pythonapi.PyCapsule_New
    new_capsule.restype = ctypes.py_object
    new_capsule.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_void_p]
    keep = []
    def capsule(name):
        keep.append(ctypes.create_string_buffer(name.encode()))
        return new_capsule(ctypes.addressof(keep[-1]), keep[-1], None)
    def fake(module_name, **exports):
        mod = types.ModuleType(module_name)
        mod.__pyx_capi__ = {k: capsule(v) for k, v in exports.items()}
        sys.modules[module_name] = mod
    def attempt():
        try:
            import zel.zel_util
        except Exception as exc:
            print(type(exc).__name__ + ":", exc)
"""


class TestSiblingExports:
    @pytest.mark.parametrize("setup, message", [
        ("fake('migbase.migbase')",
         "ImportError: migbase.migbase does not export expected C variable WARM_START_PATH"),
        ("fake('migbase.migbase', WARM_START_PATH='const char *')",
         "TypeError: C variable migbase.migbase.WARM_START_PATH has wrong signature "
         "(expected char *, got const char *)"),
        ("fake('util.string', strtcpy='int (char *, int, char *)')",
         "TypeError: C function util.string.strtcpy has wrong signature "
         "(expected int (char *, int, char const *), got int (char *, int, char *))"),
        ("fake('util.string')",
         "ImportError: util.string does not export expected C function strtcpy"),
    ])
    def test_export_errors(self, python, setup, message):
        proc = python(CAPSULE_HELPERS + f"""
    {setup}
    attempt()
""")
        assert proc.stdout.strip() == message

    def test_module_without_export_table(self, python):
        proc = python(CAPSULE_HELPERS + """
    sys.modules['migbase.migbase'] = types.ModuleType('migbase.migbase')
    attempt()
""")
        assert proc.stdout.startswith("AttributeError:")
        assert "__pyx_capi__" in proc.stdout


class TestModuleStatements:
    def test_from_import_falls_back_to_the_submodule_entry(self, python):
        proc = python("""
            import sys, types
            import pyramid.compat as real
            compat = types.ModuleType("pyramid.compat")
            compat.bytes_ = real.bytes_
            sys.modules["pyramid.compat"] = compat
            try:
                import zel.zel_util
            except ImportError as exc:
                print(exc)
            marker = object()
            sys.modules["pyramid.compat.text_"] = marker
            import zel.zel_util as z
            print(z.text_ is marker)
        """)
        assert proc.stdout.split("\n")[:2] == ["cannot import name text_", "True"]

    def test_logger_is_named_after_the_module(self, zu):
        assert zu._logger.name == "zel.zel_util"

    def test_constants(self, zu):
        assert zu._KEY == b"sys_confroot" and type(zu._KEY) is bytes
        assert zu._CHARSET == "utf-8" and type(zu._CHARSET) is str
        assert zu.__test__ == {}

    def test_imported_names(self, zu):
        import collections, datetime, enum, fcntl, logging, os, time
        import pyramid.compat
        import util.errors
        assert zu.namedtuple is collections.namedtuple
        assert zu.datetime is datetime.datetime
        assert zu.getLogger is logging.getLogger
        assert zu.IntEnum is enum.IntEnum
        assert zu.sleep is time.sleep
        assert zu.os is os and zu.fcntl is fcntl
        assert zu.bytes_ is pyramid.compat.bytes_ and zu.text_ is pyramid.compat.text_
        assert zu.CFunctionError is util.errors.CFunctionError

    def test_names_are_bound_in_order(self, zu):
        bound = [name for name in vars(zu) if name in MODULE_ORDER]
        assert bound == MODULE_ORDER
        assert not [name for name in vars(zu)
                    if name not in MODULE_ORDER and name not in OPERATIONS
                    and not name.startswith("__")]


class TestFunctionObjects:
    def test_identity(self, zu):
        for name in OPERATIONS:
            f = getattr(zu, name)
            assert (f.__name__, f.__qualname__, f.__module__) == (name, name, "zel.zel_util")
            assert f.__doc__ is None
            assert f.__kwdefaults__ is None
            assert repr(f) == f"<built-in function {name}>"

    def test_no_argument_operations_have_no_defaults(self, zu):
        assert zu.get_last_backup.__defaults__ is None
        assert zu.get_last_backup.__annotations__ == {}

    def test_cannot_be_instantiated(self, zu):
        with pytest.raises(TypeError):
            type(zu.get_cmdb_max_buff)()


def traceback_names(excinfo):
    return [frame.name for frame in traceback.extract_tb(excinfo.value.__traceback__)]


PLATFORM_SYMBOLS = [
    "dump_tessel_802_1x_status", "get_temp_list", "get_psu_list", "get_flash_list",
    "plat_switch_get_data_channel_unit", "sms_do_flush", "check_create_zel_query",
    "zel_query_update", "nCfg_obj_change", "nCfg", "backupts_GetTimeStamp",
    "is_diag_debug_enabled", "api_mtraceroute", "init_trace_route", "query_trace_route",
    "free_trace_route",
]


def test_platform_symbols_are_left_to_the_process():
    """The module refers to the platform by name only: every platform symbol
    is undefined in the extension, and it needs no simulator library."""
    import shutil
    import subprocess

    if shutil.which("nm") is None or shutil.which("readelf") is None:
        pytest.skip("binutils not installed")
    def symbols(option):
        out = subprocess.run(["nm", "-D", option, zel.zel_util.__file__], capture_output=True,
                             text=True, check=True).stdout
        return {line.split()[-1].split("@")[0] for line in out.splitlines()}

    assert set(PLATFORM_SYMBOLS) <= symbols("--undefined-only")
    assert symbols("--defined-only") == {"PyInit_zel_util"}
    path = zel.zel_util.__file__
    needed = subprocess.run(["readelf", "-d", path], capture_output=True, text=True,
                            check=True).stdout
    assert "zelplatform" not in needed
