"""The module's copy of text into a fixed room (the hostname's 36-byte
buffer, the traceroute launch's texts) writes nothing outside the room,
whatever the source's length: the room is compiled between guard bytes,
without the sanitizers, which are not needed to see a byte too many."""

import shutil
import subprocess
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parent.parent
COMPILER = shutil.which("c++") or "g++"
GUARD = b"\xa5" * 16
ROOMS = (1, 2, 36)  # 36: set_hostname's name buffer

DRIVER = """
#include <cstdio>
#include <cstring>

#include "core/bounded_copy.hpp"
#include "platform/records.h"

template <size_t N>
struct Guarded {
    unsigned char before[16];
    char room[N];
    unsigned char after[16];
};

// Writes the room with its guards after copying source into it.
template <size_t N>
void copy_between_guards(const char *source) {
    Guarded<N> guarded;
    std::memset(&guarded, 0xa5, sizeof guarded);
    zel::copy_text(guarded.room, source);
    std::fwrite(&guarded, sizeof guarded, 1, stdout);
}

int main(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        copy_between_guards<1>(argv[i]);
        copy_between_guards<2>(argv[i]);
        copy_between_guards<HOSTNAME_FIELD_SIZE>(argv[i]);
    }
}
"""


@pytest.fixture(scope="module")
def driver(tmp_path_factory):
    directory = tmp_path_factory.mktemp("bounded_copy")
    (directory / "driver.cpp").write_text(DRIVER)
    subprocess.run([COMPILER, "-std=c++20", "-O2", "-Wall", "-Wextra", "-Werror",
                    f"-I{ROOT / 'zel'}", f"-I{ROOT / 'include'}", "driver.cpp", "-o", "driver"],
                   cwd=directory, check=True, capture_output=True, text=True)
    return directory / "driver"


def test_the_copy_stays_between_guard_bytes(driver):
    # Per room: empty, one byte shorter than the room, as long, one byte
    # longer, far longer.
    sources = sorted({"x" * n for size in ROOMS for n in (0, size - 1, size, size + 1, 200)})
    out = subprocess.run([driver, *sources], check=True, capture_output=True).stdout
    for source in sources:
        for size in ROOMS:
            copied = min(len(source), size - 1)
            room = source.encode()[:copied] + b"\x00" * (size - copied)
            expected = GUARD + room + GUARD
            assert out[:len(expected)] == expected, (source, size)
            out = out[len(expected):]
    assert out == b""
