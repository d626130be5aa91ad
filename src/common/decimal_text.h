#pragma once

#include <cstddef>
#include <cstdint>

// The longest decimal text of a 64-bit value: "-9223372036854775808".
inline constexpr size_t kMaxDecimalLength = 20;

// Writes the shortest decimal form of `value` (leading "-" when negative, no
// plus sign, no leading zeros, "0" for zero) to `out`, which must hold
// kMaxDecimalLength characters. Returns how many it wrote; no terminator.
size_t WriteDecimal(int64_t value, char* out);
