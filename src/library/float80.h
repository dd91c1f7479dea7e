#pragma once
// The 80-bit extended format of the x87 (FLOAT80 in data descriptions),
// converted in software: the C library's long double is that format only on
// some machines, and script values are doubles anyway.

#include <cstdint>

namespace kel {

// Writes [value] as 10 little-endian bytes of the extended format; exact,
// since every double is an extended value.
void EncodeFloat80(double value, std::uint8_t bytes[10]);

// The extended value in the 10 little-endian [bytes], rounded to the nearest
// double (ties to even), as the x87 stores an extended value as a double:
// too large gives infinity, too small a subnormal or zero.
double DecodeFloat80(const std::uint8_t bytes[10]);

}  // namespace kel
