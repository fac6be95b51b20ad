"""Imports that go wrong half-way, stand-ins in sys.modules that are not
modules, and the module loaded under another name."""

import pytest

FAIL_AT_SYSTEM_PORT_STATS = """
    import collections, importlib.util, sys
    real_namedtuple = collections.namedtuple
    def namedtuple(name, *args, **kwargs):
        if name == "SystemPortStats":
            raise LookupError("no SystemPortStats today")
        return real_namedtuple(name, *args, **kwargs)
    collections.namedtuple = namedtuple
"""


class TestFailedExecution:
    def test_functions_made_before_the_failure_refuse_to_run(self, python):
        proc = python(FAIL_AT_SYSTEM_PORT_STATS + """
    spec = importlib.util.find_spec("zel.zel_util")
    kept = importlib.util.module_from_spec(spec)
    try:
        spec.loader.exec_module(kept)
    except LookupError as exc:
        print("failed:", exc)
    print("in sys.modules:", "zel.zel_util" in sys.modules)
    for call in (kept.psu_list, lambda: kept.get_8021x_status("gi1/0/1"),
                 lambda: kept.has_temperature_sensor()):
        try:
            call()
        except ImportError as exc:
            print(type(exc).__name__ + ":", exc)

    collections.namedtuple = real_namedtuple
    import zel.zel_util as zu
    print("again:", zu is not kept, zu.psu_list()[0].name, zu.system_port_traffic("lo")._fields)
    try:
        kept.psu_list()
    except ImportError as exc:
        print("still refused:", exc)
""")
        assert proc.stdout.splitlines() == [
            "failed: no SystemPortStats today",
            "in sys.modules: False",
            "ImportError: psu_list() belongs to an import of zel.zel_util that failed; "
            "import the module again",
            "ImportError: get_8021x_status() belongs to an import of zel.zel_util that failed; "
            "import the module again",
            "ImportError: has_temperature_sensor() belongs to an import of zel.zel_util that "
            "failed; import the module again",
            "again: True PSU 1 ('tx_packets', 'tx_bytes', 'rx_packets', 'rx_bytes')",
            "still refused: psu_list() belongs to an import of zel.zel_util that failed; "
            "import the module again",
        ]

    def test_functions_grabbed_while_the_import_ran(self, python):
        """Code that runs during the execution (an import hook, a patched
        helper) may keep what it finds in sys.modules."""
        proc = python(FAIL_AT_SYSTEM_PORT_STATS + """
    grabbed = []
    def grabbing(name, *args, **kwargs):
        if name in ("PSU", "SystemPortStats"):
            grabbed.append(sys.modules["zel.zel_util"].get_flashs)
        return namedtuple(name, *args, **kwargs)
    collections.namedtuple = grabbing
    try:
        import zel.zel_util
    except LookupError:
        pass
    print(len(grabbed), "zel.zel_util" in sys.modules)
    try:
        grabbed[0]()
    except ImportError:
        print("ImportError")
    collections.namedtuple = real_namedtuple
    import zel.zel_util as zu
    print(len(zu.psu_list()), zu.psu_list is not grabbed[0])
""")
        assert proc.stdout.splitlines() == ["2 False", "ImportError", "2 True"]


class TestStandInsThatAreNotModules:
    def test_from_import_of_a_missing_name(self, python):
        proc = python("""
            import sys, types
            import pyramid.compat as real
            stand_in = types.SimpleNamespace(bytes_=real.bytes_)
            sys.modules["pyramid.compat"] = stand_in
            try:
                import zel.zel_util
            except ImportError as exc:
                print(type(exc).__name__ + ":", exc)
            stand_in.__name__ = 42   # a name that is not a str is no module name
            try:
                import zel.zel_util
            except ImportError as exc:
                print(type(exc).__name__ + ":", exc)
            stand_in.text_ = real.text_
            import zel.zel_util as zu
            print(zu.text_ is real.text_, zu.psu_list()[0].name)
        """)
        assert proc.stdout.splitlines() == [
            "ImportError: cannot import name text_",
            "ImportError: cannot import name text_",
            "True PSU 1",
        ]

    def test_export_tables_of_objects_that_are_not_modules(self, python):
        proc = python("""
            import sys
            import migbase.migbase, zel.zel

            class StandIn:
                def __init__(self, table):
                    self.__pyx_capi__ = table

            sys.modules["migbase.migbase"] = StandIn({})
            try:
                import zel.zel_util
            except ImportError as exc:
                print(type(exc).__name__ + ":", exc)
            sys.modules["migbase.migbase"] = StandIn(migbase.migbase.__pyx_capi__)
            sys.modules["zel.zel"] = StandIn(dict(zel.zel.__pyx_capi__))
            import zel.zel_util as zu
            print(zu.system_port_traffic("lo")._fields[0])
        """)
        assert proc.stdout.splitlines() == [
            "ImportError: migbase.migbase does not export expected C variable WARM_START_PATH",
            "tx_packets",
        ]


def test_loaded_under_another_name(python):
    """Objects carry the name the module was loaded under, so that pickling
    them by name finds them."""
    proc = python("""
        import importlib.util, pickle, sys
        origin = importlib.util.find_spec("zel.zel_util").origin
        spec = importlib.util.spec_from_file_location("zel_util", origin)
        zu = importlib.util.module_from_spec(spec)
        sys.modules["zel_util"] = zu
        spec.loader.exec_module(zu)
        print(zu.__name__, zu._logger.name)
        print(sorted({getattr(zu, name).__module__ for name in
                      ("psu_list", "get_diagnostic_data", "PSU", "SystemPortStats",
                       "TraceRouteSettings")}))
        for value in (zu.psu_list, zu.get_safe_r_file, zu.psu_list(), zu.TraceRouteSettings.ttl,
                      zu.system_port_traffic("lo")):
            again = pickle.loads(pickle.dumps(value))
            print(again is value or (again == value and type(again) is type(value)))
    """)
    assert proc.stdout.splitlines() == ["zel_util zel_util", "['zel_util']"] + ["True"] * 5


def test_no_version_warning_on_the_interpreter_it_was_built_for(python):
    # The import checks the interpreter's minor version against the one the
    # module was compiled for, on whichever version that is.
    proc = python("""
        import sys, warnings
        warnings.simplefilter("error", RuntimeWarning)
        import zel.zel_util as zu
        tag = f"cpython-{sys.version_info[0]}{sys.version_info[1]}-"
        print(tag in zu.__file__)
    """)
    assert proc.stdout.split() == ["True"], proc.stderr
