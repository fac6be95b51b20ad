"""802.1X port status and sessions, read from the dot1x_status_info record."""

import struct
import traceback
import tracemalloc

import pytest
import zel_sim
from zel_sim import records

DUMP = "dump_tessel_802_1x_status"
OPS = ["get_8021x_status", "get_8021x_sessions"]

PORT_KEYS = [
    "name", "mode", "mab", "link_status", "port_status", "eap_pass_through",
    "dynamic_vlanid", "native_vlanid", "allowed_vlanid", "untagged_vlanid",
    "guest_vlan_enable", "guest_vlan", "auth_fail_vlan_enable", "auth_fail_vlan", "sessions",
]
PORT_SESSION_KEYS = [
    "mac", "type", "eap", "eap_counter", "pae", "elapsed_time", "params",
    "traffic_vlan_id", "dynamic_assigned_vlan_id", "user", "security_group", "brenlow_group",
]
FLAT_SESSION_KEYS = [
    "mac", "interface", "type", "eap", "eap_counter", "pae", "elapsed_time", "params",
    "native_vlan_id", "traffic_vlan_id", "dynamic_assigned_vlan_id", "user",
    "security_group", "brenlow_group",
]
SESSION_TEXTS = [
    "mac", "type", "eap", "eap_counter", "elapsed_time", "pae", "params",
    "security_group", "user", "brenlow_group",
]

# Byte offsets written out here once more, for the records these tests build
# by hand: header fields, then entry i of the VLAN and detail arrays.
VLAN_ENTRY, VLAN_SIZE = 620, 36
DETAIL_ENTRY, DETAIL_SIZE = 1340, 775


def session(i, **fields):
    """A session whose every text tells its entry and field apart."""
    values = {key: f"{key[:6]}{i}" for key in SESSION_TEXTS}
    values.update(native_vlan_id=100 + i, traffic_vlan_id=200 + i,
                  dynamic_assigned_vlan_id=300 + i)
    values.update(fields)
    return values


def port(**fields):
    values = dict(name="eth0", mode=2, mab=1, link_status="Up", port_status="Auth:Both",
                  eap_pass_through="Off", dynamic_vlanid=30, native_vlanid=10,
                  allowed_vlanid="10,30", untagged_vlanid="10", guest_vlan_enable=1,
                  guest_vlan="99", auth_fail_vlan_enable=0, auth_fail_vlan="999")
    values.update(fields)
    return records.dot1x_status(**values)


def serve(record, result=1, name="eth0"):
    zel_sim.script(DUMP, result=result, record=record, key=name)


def port_session(i):
    s = session(i)
    return {key: s[key] for key in PORT_SESSION_KEYS}


def flat_session(i, interface="eth0"):
    s = dict(session(i), interface=interface)
    return {key: s[key] for key in FLAT_SESSION_KEYS}


class TestPortStatus:
    def test_every_field_in_order(self, zu):
        serve(port(sessions=[session(0), session(1)]))
        result = zu.get_8021x_status("eth0")
        assert list(result) == PORT_KEYS
        assert [list(s) for s in result["sessions"]] == [PORT_SESSION_KEYS] * 2
        assert result == {
            "name": "eth0", "mode": 2, "mab": 1, "link_status": "Up", "port_status": "AuthBoth",
            "eap_pass_through": "Off", "dynamic_vlanid": 30, "native_vlanid": 10,
            "allowed_vlanid": "10,30", "untagged_vlanid": "10", "guest_vlan_enable": 1,
            "guest_vlan": "99", "auth_fail_vlan_enable": 0, "auth_fail_vlan": "999",
            "sessions": [port_session(0), port_session(1)],
        }

    def test_fields_at_raw_offsets(self, zu):
        buf = bytearray(records.DOT1X_SIZE)
        struct.pack_into("<6s", buf, 0, b"gi0/9\0")
        struct.pack_into("<i", buf, 64, -1)  # mode
        struct.pack_into("<i", buf, 252, -(2**31))  # native_vlanid
        struct.pack_into("<5s", buf, 82, b"a:b:\0")  # port_status
        struct.pack_into("<i", buf, 600, 2)  # count
        struct.pack_into("<H", buf, VLAN_ENTRY + VLAN_SIZE + 32, 65535)  # traffic, entry 1
        struct.pack_into("<4s", buf, DETAIL_ENTRY + DETAIL_SIZE + 198, b"bob\0")  # user, 1
        struct.pack_into("<3s", buf, DETAIL_ENTRY + 78, b"ok\0")  # pae, entry 0
        serve(bytes(buf))
        result = zu.get_8021x_status("eth0")
        assert (result["name"], result["mode"], result["native_vlanid"]) == ("gi0/9", -1, -(2**31))
        assert result["port_status"] == "ab" and result["mab"] == 0
        first, second = result["sessions"]
        assert first["pae"] == "ok" and first["traffic_vlan_id"] == 0
        assert second["traffic_vlan_id"] == 65535 and second["user"] == "bob"
        assert set(second.values()) == {"", "bob", 0, 65535}

    def test_packer_agrees_with_raw_offsets(self):
        buf = port(mode=-7, guest_vlan="g",
                   sessions=[session(0), session(1, brenlow_group="grp", native_vlan_id=65535)])
        assert struct.unpack_from("<i", buf, 64) == (-7,)
        assert struct.unpack_from("<2s", buf, 388) == (b"g\0",)
        assert struct.unpack_from("<i", buf, 600) == (2,)
        assert struct.unpack_from("<H", buf, VLAN_ENTRY + VLAN_SIZE + 30) == (65535,)
        assert struct.unpack_from("<4s", buf, DETAIL_ENTRY + DETAIL_SIZE + 263) == (b"grp\0",)

    @pytest.mark.parametrize("raw, shown", [
        ("a:b:c", "abc"), ("Authorized", "Authorized"), (":::", ""), ("", ""),
        (b"\xe9:\xff", "\xe9\xff"),
    ])
    def test_port_status_loses_every_colon(self, zu, raw, shown):
        serve(port(port_status=raw))
        assert zu.get_8021x_status("eth0")["port_status"] == shown

    def test_port_status_replace_is_called_on_what_text_made(self, zu):
        class Text(str):
            def replace(self, old, new):
                return ("replaced", str(self), old, new)

        zu.text_ = lambda value: Text(value.decode("latin-1")) if type(value) is bytes else value
        serve(port(port_status="x:y"))
        assert zu.get_8021x_status("eth0")["port_status"] == ("replaced", "x:y", ":", "")

    def test_signed_header_and_unsigned_vlan_ids(self, zu):
        serve(port(mode=-1, mab=2**31 - 1, dynamic_vlanid=-1, guest_vlan_enable=2**32 - 1,
                   sessions=[session(0, traffic_vlan_id=65535, dynamic_assigned_vlan_id=32768)]))
        result = zu.get_8021x_status("eth0")
        assert (result["mode"], result["mab"], result["dynamic_vlanid"]) == (-1, 2**31 - 1, -1)
        assert result["guest_vlan_enable"] == -1
        s = result["sessions"][0]
        assert (s["traffic_vlan_id"], s["dynamic_assigned_vlan_id"]) == (65535, 32768)

    def test_latin1_and_empty_texts(self, zu):
        serve(port(name=b"\xe9th\xff", link_status=b"", sessions=[session(0, user=b"\x80\xe9")]))
        result = zu.get_8021x_status("eth0")
        assert result["name"] == "\xe9th\xff" and result["link_status"] == ""
        assert result["sessions"][0]["user"] == "\x80\xe9"


class TestSessions:
    def test_flat_list_in_entry_order(self, zu):
        serve(port(name="gi1/0/7", sessions=[session(i) for i in range(3)]))
        result = zu.get_8021x_sessions("eth0")
        assert [list(s) for s in result] == [FLAT_SESSION_KEYS] * 3
        assert result == [flat_session(i, "gi1/0/7") for i in range(3)]

    def test_native_vlan_id_is_unsigned(self, zu):
        serve(port(sessions=[session(0, native_vlan_id=65535)]))
        assert zu.get_8021x_sessions("eth0")[0]["native_vlan_id"] == 65535

    def test_default_scenario_ports(self, zu):
        status = zu.get_8021x_status("gi1/0/2")
        assert len(status["sessions"]) == 3
        flat = zu.get_8021x_sessions("gi1/0/2")
        assert [s["mac"] for s in flat] == [s["mac"] for s in status["sessions"]]
        assert {s["interface"] for s in flat} == {"gi1/0/2"}
        assert zu.get_8021x_status("gi1/0/3")["sessions"] == []


class TestCountsAndRooms:
    # The record holds 20 entries whatever count the platform reports.
    @pytest.mark.parametrize("op", OPS)
    @pytest.mark.parametrize("count, read", [
        (0, 0), (-1, 0), (-5, 0), (-(2**31), 0), (2, 2), (20, 20), (21, 20), (2**31 - 1, 20),
    ])
    def test_sessions_read(self, zu, op, count, read):
        serve(port(count=count, sessions=[session(i) for i in range(20)]))
        result = getattr(zu, op)("eth0")
        sessions = result["sessions"] if op == "get_8021x_status" else result
        assert [s["mac"] for s in sessions] == [f"mac{i}" for i in range(read)]
        if op == "get_8021x_status":
            assert list(result) == PORT_KEYS

    def test_texts_filling_their_room_stop_there(self, zu):
        # Entry 19's group name ends where the record ends.
        full = dict(mac=b"m" * 20, type=b"t" * 10, pae=b"p" * 16, params=b"q" * 68,
                    security_group=b"s" * 36, user=b"u" * 65, brenlow_group=b"b" * 512)
        serve(port(name=b"N" * 64, link_status=b"L" * 10, port_status=b"P:" * 57,
                   auth_fail_vlan=b"A" * 136, sessions=[session(i, **full) for i in range(20)]))
        status = zu.get_8021x_status("eth0")
        assert status["name"] == "N" * 64 and status["link_status"] == "L" * 10
        assert status["port_status"] == "P" * 57 and status["auth_fail_vlan"] == "A" * 136
        for s in (status["sessions"][19], zu.get_8021x_sessions("eth0")[19]):
            assert {key: s[key] for key in full} == {k: v.decode() for k, v in full.items()}


class TestArguments:
    @pytest.mark.parametrize("op", OPS)
    @pytest.mark.parametrize("call", [
        lambda f: f("gi1/0/1"), lambda f: f(b"gi1/0/1"), lambda f: f(bytearray(b"gi1/0/1")),
        lambda f: f(interface_name="gi1/0/1"), lambda f: f(interface_name=b"gi1/0/1"),
    ])
    def test_same_platform_call(self, zu, zel_sim, op, call):
        call(getattr(zu, op))
        assert zel_sim.calls() == [(DUMP, (b"gi1/0/1",))]

    @pytest.mark.parametrize("op", OPS)
    @pytest.mark.parametrize("value, error", [
        (None, TypeError), (7, TypeError), (memoryview(b"eth0"), TypeError),
        ("eth\u0100", UnicodeEncodeError), ("\U0001f600", UnicodeEncodeError),
    ])
    def test_refused_before_the_platform(self, zu, zel_sim, op, value, error):
        with pytest.raises(error) as excinfo:
            getattr(zu, op)(value)
        assert zel_sim.calls() == []
        names = [f.name for f in traceback.extract_tb(excinfo.value.__traceback__)]
        assert f"zel.zel_util.{op}" in names

    @pytest.mark.parametrize("op", OPS)
    @pytest.mark.parametrize("call, message", [
        (lambda f: f(), "{}() takes exactly 1 positional argument (0 given)"),
        (lambda f: f("a", "b"), "{}() takes exactly 1 positional argument (2 given)"),
        (lambda f: f("a", name="a"), "{}() got an unexpected keyword argument 'name'"),
        (lambda f: f("a", interface_name="a"),
         "{}() got multiple values for keyword argument 'interface_name'"),
    ])
    def test_binding_errors(self, zu, zel_sim, op, call, message):
        with pytest.raises(TypeError) as excinfo:
            call(getattr(zu, op))
        assert str(excinfo.value) == message.format(op)
        assert zel_sim.calls() == []


class TestFailures:
    @pytest.mark.parametrize("op", OPS)
    @pytest.mark.parametrize("code", [0, -1, 2, 2**31 - 1])
    def test_platform_failure(self, zu, op, code):
        serve(port(sessions=[session(0)]), result=code)
        with pytest.raises(zu.CFunctionError) as excinfo:
            getattr(zu, op)("eth0")
        assert excinfo.value.args == (DUMP, code) and type(excinfo.value.args[1]) is int
        names = [f.name for f in traceback.extract_tb(excinfo.value.__traceback__)]
        assert names[-1] == f"zel.zel_util.{op}"

    def test_error_type_is_looked_up_at_each_failure(self, zu):
        class Replacement(Exception):
            pass

        serve(b"", result=0)
        zu.CFunctionError = Replacement
        with pytest.raises(Replacement) as excinfo:
            zu.get_8021x_sessions("eth0")
        assert excinfo.value.args == (DUMP, 0)
        zu.CFunctionError = lambda *args: "not an exception"
        with pytest.raises(TypeError, match="exceptions must derive from BaseException"):
            zu.get_8021x_status("eth0")

    def test_no_block_outlives_a_call(self, zu):
        # Every exit frees the 16840-byte block: a leak would show as
        # hundreds of kilobytes here.
        serve(port(sessions=[session(i) for i in range(20)]))
        serve(b"", result=0, name="down")

        def calls():
            for value in ("eth0", "down", None, "\u0100"):
                for op in OPS:
                    try:
                        getattr(zu, op)(value)
                    except Exception:
                        pass

        calls()
        tracemalloc.start()
        try:
            before = tracemalloc.get_traced_memory()[0]
            for _ in range(50):
                calls()
            grown = tracemalloc.get_traced_memory()[0] - before
        finally:
            tracemalloc.stop()
        assert grown < records.DOT1X_SIZE


ALLOCATION_FAILURE = """
    import logging, _testcapi, zel_sim
    import zel.zel_util as zu
    zel_sim.reset()
    messages = []
    class Handler(logging.Handler):
        def emit(self, record):
            messages.append((record.levelname, record.getMessage()))
    zu._logger.addHandler(Handler())
    zu._logger.propagate = False
    def attempt(op, argument):
        zel_sim.clear_calls()
        try:
            # The first allocation the call makes fails: it must be the block,
            # before the argument is converted.
            _testcapi.set_nomemory(0, 1)
            try:
                getattr(zu, op)(argument)
            finally:
                _testcapi.remove_mem_hooks()
        except Exception as exc:
            return type(exc).__name__, exc.args, len(zel_sim.calls())
"""


class TestAllocationFailure:
    @pytest.mark.parametrize("op", OPS)
    def test_logged_and_raised_before_the_platform(self, python, op):
        proc = python(ALLOCATION_FAILURE + f"""
    print(attempt({op!r}, "gi1/0/1"))
    print(attempt({op!r}, None))
    print(messages)
    print(len(zu.get_8021x_sessions("gi1/0/1")))
""")
        error = ("CFunctionError", ("PyMem_Malloc",), 0)
        message = ("ERROR", f"Could not allocate memory for {op} data")
        assert proc.stdout.splitlines() == [str(error), str(error), str([message, message]), "2"]

    def test_logger_is_looked_up_at_the_failure(self, python):
        proc = python(ALLOCATION_FAILURE + """
    class Recorder:
        def error(self, *args):
            messages.append(args)
    zu._logger = Recorder()
    print(attempt("get_8021x_sessions", b"eth0"))
    del zu._logger
    print(attempt("get_8021x_status", b"eth0"))
    print(messages)
""")
        assert proc.stdout.splitlines() == [
            "('CFunctionError', ('PyMem_Malloc',), 0)",
            "('NameError', (\"name '_logger' is not defined\",), 0)",
            "[('Could not allocate memory for get_8021x_sessions data',)]",
        ]


class TestModuleNames:
    def test_every_session_value_passes_through_text(self, zu):
        seen = []

        def text_(value):
            seen.append(value)
            return value.decode("latin-1") if type(value) is bytes else value

        zu.text_ = text_
        serve(port(name="p", sessions=[session(0)]))
        zu.get_8021x_status("eth0")
        header = [b"p", b"Up", b"Auth:Both", b"Off", b"10,30", b"10", b"99", b"999"]
        entry = [b"mac0", b"type0", b"eap0", b"eap_co0", b"pae0", b"elapse0", b"params0",
                 200, 300, b"user0", b"securi0", b"brenlo0"]
        assert seen == header + entry
        seen.clear()
        zu.get_8021x_sessions("eth0")
        assert seen == entry[:1] + [b"p"] + entry[1:7] + [100] + entry[7:]

    def test_bytes_is_looked_up_at_each_call(self, zu, zel_sim):
        zu.bytes_ = lambda value: bytearray(b"gi1/0/4")
        assert zu.get_8021x_status(12)["name"] == "gi1/0/4"
        zu.bytes_ = lambda value: value
        with pytest.raises(TypeError):
            zu.get_8021x_sessions("gi1/0/4")
        assert zel_sim.calls() == [(DUMP, (b"gi1/0/4",))]
        del zu.bytes_
        with pytest.raises(NameError, match="^name 'bytes_' is not defined$"):
            zu.get_8021x_sessions(b"gi1/0/4")
