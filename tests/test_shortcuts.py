"""The direct paths the module takes in place of pyramid's bytes_ and
text_ and of the named tuples' __new__ hold only while those functions are
unchanged: a change made in place, to the very function objects, is
honoured as a rebinding is, and undoing it brings the direct path back."""


import pyramid._compat as compat
import pyramid.compat
import pytest
import zel_sim
from zel_sim import records

import util.errors
import zel.zel_util as zu_module
from python_calls import SHORTCUTS, direct_paths, python_calls
from zel_sim.testing import PrivateTmp

try:
    import _testcapi
except ImportError:  # interpreters built without the test modules
    _testcapi = None


@pytest.fixture
def restore():
    """Sets attributes for the test and puts the originals back after it."""
    saved = []

    def set_(obj, name, value):
        saved.append((obj, name, getattr(obj, name)))
        setattr(obj, name, value)

    yield set_
    for obj, name, value in reversed(saved):
        setattr(obj, name, value)


def utf8_supply():
    zel_sim.script("get_psu_list", result=0,
                   record=records.psu_list([(b"PSU\xc3\xa91", 1, 1)]))


class TestTextConversions:
    def test_text_defaults_changed_in_place(self, zu, restore):
        utf8_supply()
        assert zu.psu_list()[0].name == "PSU \xc3\xa91"
        restore(compat.text_, "__defaults__", ("utf-8", "strict"))
        assert pyramid.compat.text_(b"\xc3\xa9") == "\xe9"
        assert zu.psu_list()[0].name == "PSU \xe91"

    def test_bytes_defaults_changed_in_place(self, zu, zel_sim, restore):
        restore(compat.bytes_, "__defaults__", ("utf-8", "strict"))
        with pytest.raises(util.errors.CFunctionError):
            zu.get_8021x_status("gi\xe9")
        assert zel_sim.calls("dump_tessel_802_1x_status")[-1].args == (b"gi\xc3\xa9",)

    def test_code_changed_in_place(self, zu, restore):
        def always_utf8(s, encoding="latin-1", errors="strict"):
            return s.decode("utf-8", errors) if isinstance(s, bytes) else s

        utf8_supply()
        restore(compat.text_, "__code__", always_utf8.__code__)
        assert zu.psu_list()[0].name == "PSU \xe91"

    @direct_paths
    def test_keyword_defaults_set_in_place(self, zu, restore):
        restore(compat.text_, "__kwdefaults__", {})
        supplies, calls = python_calls(zu.psu_list)
        assert calls == ["text_", "text_"]
        assert supplies == [("PSU 1", True, True), ("PSU 2", True, False)]

    def test_global_of_pyramid_rebound(self, zu, restore):
        restore(compat, "text_type", bytes)
        with pytest.raises(TypeError) as expected:
            b"".join([pyramid.compat.bytes_("gi1/0/1")])
        with pytest.raises(TypeError) as excinfo:
            zu.get_8021x_status("gi1/0/1")
        assert str(excinfo.value) == "expected bytes, str found"
        assert "str" in str(expected.value)

    def test_builtin_used_by_pyramid_rebound(self, zu):
        import builtins

        real = builtins.isinstance
        builtins.isinstance = lambda obj, cls: False if cls is str else real(obj, cls)
        try:
            with pytest.raises(TypeError) as excinfo:
                zu.get_8021x_status("gi1/0/1")
        finally:
            builtins.isinstance = real
        assert str(excinfo.value) == "expected bytes, str found"

    @direct_paths
    @pytest.mark.parametrize("change", ["__defaults__", "__code__", "__kwdefaults__"])
    def test_undoing_a_change_restores_the_direct_path(self, zu, change):
        for fn in (compat.text_, compat.bytes_):
            original = getattr(fn, change)
            # Equal to the original, but another object.
            setattr(fn, change, {"__defaults__": ("latin-1", "strict"),
                                 "__code__": fn.__code__.replace(),
                                 "__kwdefaults__": {}}[change])
            try:
                assert python_calls(lambda: zu.get_8021x_status("gi1/0/1"))[1]
            finally:
                setattr(fn, change, original)
        assert python_calls(lambda: zu.get_8021x_status("gi1/0/1"))[1] == []
        assert python_calls(zu.psu_list)[1] == []


NAMED_TUPLES = [
    ("PSU", lambda zu: zu.psu_list()[0]),
    ("SystemPortStats", lambda zu: zu.system_port_traffic("lo")),
]


def runs_new(cls, make):
    """Whether making an instance runs the class's Python-level __new__."""
    codes = []
    python_calls(make, codes)
    return cls.__new__.__code__ in codes


class TestNamedTuples:
    @direct_paths
    @pytest.mark.parametrize("name, make", NAMED_TUPLES)
    def test_new_code_changed_in_place(self, zu, name, make):
        cls = getattr(zu, name)
        new = cls.__new__
        original = new.__code__
        fields = ", ".join(cls._fields)
        backwards = ", ".join(reversed(cls._fields))
        namespace = {}
        exec(f"def reversed_new(_cls, {fields}): return _tuple_new(_cls, ({backwards}))",
             namespace)
        expected = tuple(reversed(make(zu)))
        assert not runs_new(cls, lambda: make(zu))
        new.__code__ = namespace["reversed_new"].__code__
        try:
            assert tuple(make(zu)) == expected
        finally:
            new.__code__ = original
        assert not runs_new(cls, lambda: make(zu))
        assert tuple(make(zu)) == expected[::-1]

    @direct_paths
    @pytest.mark.parametrize("name, make", NAMED_TUPLES)
    def test_new_globals_changed_in_place(self, zu, name, make):
        cls = getattr(zu, name)
        globals_ = cls.__new__.__globals__
        original = globals_["_tuple_new"]
        expected = tuple(reversed(make(zu)))
        globals_["_tuple_new"] = lambda cls_, values: original(cls_, values[::-1])
        try:
            assert tuple(make(zu)) == expected
            assert runs_new(cls, lambda: make(zu))
        finally:
            globals_["_tuple_new"] = original
        assert not runs_new(cls, lambda: make(zu))

    @pytest.mark.parametrize("name, make", NAMED_TUPLES)
    def test_the_other_class_bound_in_its_place_is_called(self, zu, restore, name, make):
        """Each class has another number of fields: called with the values of
        the other, its __new__ raises."""
        other = next(other for other, _ in NAMED_TUPLES if other != name)
        restore(zu, name, getattr(zu, other))
        with pytest.raises(TypeError, match=rf"^{other}\.__new__\(\) (missing 1|takes 4)"):
            make(zu)

    @direct_paths
    def test_static_method_reinitialised_in_place(self, zu):
        original = zu.PSU.__new__
        descriptor = vars(zu.PSU)["__new__"]
        if not isinstance(descriptor, staticmethod):  # put back as a plain function
            zu.PSU.__new__ = descriptor = staticmethod(original)
        assert python_calls(zu.psu_list)[1] == []
        descriptor.__init__(lambda cls, name, connected, ok: original(cls, name.lower(),
                                                                      connected, ok))
        try:
            assert zu.psu_list()[0] == ("psu 1", True, True)
        finally:
            descriptor.__init__(original)
        assert python_calls(zu.psu_list)[1] == []
        assert zu.psu_list()[0] == ("PSU 1", True, True)

    def test_look_alike_named_tuple_is_called(self, python):
        """A class made by a replacement of namedtuple at import is called,
        however much it looks like a real named tuple."""
        proc = python("""
            import collections
            real = collections.namedtuple
            def namedtuple(name, fields, **kwargs):
                cls = real(name, fields, **kwargs)
                if name != "PSU":
                    return cls
                ns = dict(cls.__new__.__globals__)
                ns["_tuple_new"] = lambda c, values: tuple.__new__(c, values[::-1])
                cls.__new__ = type(cls.__new__)(cls.__new__.__code__, ns)
                return cls
            collections.namedtuple = namedtuple
            import zel.zel_util as zu
            print(zu.psu_list()[0])
        """)
        assert proc.stdout.strip() == "PSU(name=True, connected=True, ok='PSU 1')"


def test_module_is_unchanged_by_these_tests():
    assert zu_module.psu_list()[0] == ("PSU 1", True, True)
    assert compat.text_.__defaults__ == ("latin-1", "strict")


def test_classes_unlike_named_tuples_are_simply_called(python):
    proc = python("""
        import collections
        real = collections.namedtuple
        def namedtuple(name, fields, **kwargs):
            if name != "PSU":
                return real(name, fields, **kwargs)
            class Odd(tuple):
                _fields = ("class", "not a name")
                def __new__(cls, *values):
                    return tuple.__new__(cls, ("odd",) + values)
            return Odd
        collections.namedtuple = namedtuple
        import zel.zel_util as zu
        print(zu.psu_list()[0])
    """)
    assert proc.stdout.strip() == "('odd', 'PSU 1', True, True)"


def test_the_build_has_the_speed_layer_the_tests_are_told_of(zu):
    # ZEL_SHORTCUTS tells the tests how the module was built (make test
    # SHORTCUTS=0 sets it for both); the module must agree.
    codes = []
    names = python_calls(zu.psu_list, codes)[1]
    if SHORTCUTS:
        assert names == []
    else:
        assert "text_" in names and zu.PSU.__new__.__code__ in codes


class TestNamesLookedUpAtEachUse:
    def test_a_module_name_shadowing_a_builtin_is_used_by_the_next_call(self, zu, tmp_path):
        (tmp_path / "mtraceroute_0").touch()
        zu.os = PrivateTmp(tmp_path)
        assert zu.get_safe_r_file() == "1"
        zu.FileExistsError = KeyError  # the taken number is no longer passed over
        with pytest.raises(FileExistsError):
            zu.get_safe_r_file()
        del zu.FileExistsError
        assert zu.get_safe_r_file() == "2"

    @pytest.mark.skipif(_testcapi is None, reason="the interpreter has no _testcapi")
    def test_rebinding_is_seen_after_other_code_removes_dict_watchers(self, python):
        proc = python("""
            import _testcapi, builtins, zel_sim
            import zel.zel_util as zu
            zu._KEY = bytes(b"first key")
            zu.get_last_backup()
            for watcher in range(8):
                for namespace in (vars(zu), vars(builtins)):
                    try:
                        _testcapi.unwatch_dict(watcher, namespace)
                    except ValueError:
                        pass
            zu._KEY = bytes(b"second key")  # frees the first
            zu.get_last_backup()
            print([call.args[0] for call in zel_sim.calls("backupts_GetTimeStamp")])
        """)
        assert proc.stdout.strip() == "[b'first key', b'second key']"


class ClaimsToBeStr:
    """isinstance(x, str) is true for it: pyramid's bytes_ encodes it."""
    __class__ = property(lambda self: str)

    def encode(self, encoding, errors):
        return b"claimed"


def test_an_object_claiming_to_be_a_str_is_encoded_by_bytes_(zu, zel_sim):
    zu.set_hostname(ClaimsToBeStr())
    assert zel_sim.hostname() == b"claimed"
