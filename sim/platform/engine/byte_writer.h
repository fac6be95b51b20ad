// Appending fields to the bytes the control interface hands out: values in
// the machine's own layout, byte strings after their 32-bit length.
#ifndef ZEL_SIM_ENGINE_BYTE_WRITER_H
#define ZEL_SIM_ENGINE_BYTE_WRITER_H

#include <cstdint>
#include <string>

namespace zelsim {

template <typename T>
void append_raw(std::string &out, T value) {
    out.append(reinterpret_cast<const char *>(&value), sizeof value);
}

inline void append_bytes(std::string &out, const std::string &bytes) {
    append_raw<std::uint32_t>(out, static_cast<std::uint32_t>(bytes.size()));
    out += bytes;
}

}  // namespace zelsim

#endif  // ZEL_SIM_ENGINE_BYTE_WRITER_H
