// The text of a probe's time: format(time, ".3f").
#pragma once

#include <cstddef>

namespace zel {

// Room for the text of any value fixed_point_3 takes: a sign, 16 digits, the
// point and 3 decimals.
inline constexpr size_t kFixedPoint3Room = 24;

// Writes the decimal text of `value` rounded to three decimals, exactly as
// the interpreter's ".3f" formatting writes it (the exact binary value,
// rounded half to even), and returns its length. Returns 0, writing nothing,
// for what it leaves to the interpreter: infinities, NaN and magnitudes of
// 2**53 or more.
size_t fixed_point_3(float value, char (&text)[kFixedPoint3Room]);

}  // namespace zel
