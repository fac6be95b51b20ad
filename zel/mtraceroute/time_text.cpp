#include "mtraceroute/time_text.hpp"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace zel {

namespace {

// The value times 1000, rounded half to even, from the single-precision
// parts: value = mantissa * 2**shift with a 24-bit mantissa, so
// mantissa * 1000 < 2**34 and every step below is exact in 64 bits.
bool thousandths_of(float value, uint64_t &result) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const int biased = static_cast<int>((bits >> 23) & 0xff);
    uint64_t mantissa = bits & 0x7fffff;
    if (biased != 0)
        mantissa |= 0x800000;  // subnormals have no implicit bit
    const int shift = (biased == 0 ? 1 : biased) - 150;
    const uint64_t scaled = mantissa * 1000;
    if (shift >= 0) {
        if (shift > 29)  // 2**53 and above
            return false;
        result = scaled << shift;
        return true;
    }
    const int down = -shift;
    if (down >= 36) {  // scaled < 2**34 < half of 2**down: rounds to 0
        result = 0;
        return true;
    }
    const uint64_t whole = scaled >> down;
    const uint64_t rest = scaled & ((uint64_t{1} << down) - 1);
    const uint64_t half = uint64_t{1} << (down - 1);
    result = whole + ((rest > half || (rest == half && (whole & 1))) ? 1 : 0);
    return true;
}

}  // namespace

size_t fixed_point_3(float value, char (&text)[kFixedPoint3Room]) {
    uint64_t thousandths = 0;
    if (!std::isfinite(value) || !thousandths_of(value, thousandths))
        return 0;
    char digits[kFixedPoint3Room];
    size_t n = 0;
    uint64_t rest = thousandths;
    do {  // at least four digits: "0.000"
        digits[n++] = static_cast<char>('0' + rest % 10);
        rest /= 10;
    } while (rest != 0 || n < 4);
    size_t length = 0;
    if (std::signbit(value))
        text[length++] = '-';  // "-0.000" too, as the interpreter writes it
    while (n > 3)
        text[length++] = digits[--n];
    text[length++] = '.';
    while (n > 0)
        text[length++] = digits[--n];
    return length;
}

}  // namespace zel
