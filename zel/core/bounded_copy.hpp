// Text copied into a fixed room handed to the platform: whatever the
// source, the room holds terminated text and nothing is written past it.
#pragma once

#include <cstddef>
#include <cstring>

namespace zel {

// Copies at most size - 1 bytes (size is 1 or more) of `source`, stopping at
// its NUL, and fills the rest of the room with NULs, its last byte included.
inline void copy_text(char *room, size_t size, const char *source) {
    const size_t length = strnlen(source, size - 1);
    std::memcpy(room, source, length);
    std::memset(room + length, 0, size - length);
}

template <size_t N>
void copy_text(char (&room)[N], const char *source) {
    static_assert(N > 0, "a room holds at least the terminator");
    copy_text(room, N, source);
}

}  // namespace zel
