// Software conversion between doubles and the x87's 80-bit extended format.

#include "library/float80.h"

#include <bit>
#include <cstring>

namespace kel {

namespace {

constexpr int kDoubleBias = 1023;
constexpr int kExtendedBias = 16383;
constexpr std::uint64_t kIntegerBit = std::uint64_t{1} << 63;
constexpr std::uint64_t kDoubleFraction = (std::uint64_t{1} << 52) - 1;
constexpr std::uint64_t kDefaultNaN = 0xFFF8000000000000ull;

// [value] shifted right by [shift] bits, rounded to nearest, ties to even.
std::uint64_t ShiftRounded(std::uint64_t value, int shift) {
  if (shift == 0) return value;
  if (shift > 64) return 0;
  const std::uint64_t kept = shift == 64 ? 0 : value >> shift;
  const std::uint64_t rest = shift == 64 ? value : value & ((std::uint64_t{1} << shift) - 1);
  const std::uint64_t half = std::uint64_t{1} << (shift - 1);
  return rest > half || (rest == half && (kept & 1) != 0) ? kept + 1 : kept;
}

}  // namespace

void EncodeFloat80(double value, std::uint8_t bytes[10]) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  const std::uint32_t sign = static_cast<std::uint32_t>(bits >> 63) << 15;
  const int exponent = static_cast<int>((bits >> 52) & 0x7FF);
  const std::uint64_t fraction = bits & kDoubleFraction;
  std::uint64_t significand = 0;
  std::uint32_t biased = 0;
  if (exponent == 0x7FF) {  // infinity or NaN, payload kept
    significand = kIntegerBit | (fraction << 11);
    biased = 0x7FFF;
  } else if (exponent != 0) {
    significand = kIntegerBit | (fraction << 11);
    biased = static_cast<std::uint32_t>(exponent - kDoubleBias + kExtendedBias);
  } else if (fraction != 0) {  // a subnormal double is a normal extended value
    const int top = 63 - std::countl_zero(fraction);
    significand = fraction << (63 - top);
    biased = static_cast<std::uint32_t>(top - 1074 + kExtendedBias);
  }
  const std::uint16_t head = static_cast<std::uint16_t>(sign | biased);
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<std::uint8_t>(significand >> (8 * i));
  bytes[8] = static_cast<std::uint8_t>(head);
  bytes[9] = static_cast<std::uint8_t>(head >> 8);
}

double DecodeFloat80(const std::uint8_t bytes[10]) {
  std::uint64_t significand = 0;
  for (int i = 0; i < 8; ++i) significand |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
  const std::uint32_t head = bytes[8] | (static_cast<std::uint32_t>(bytes[9]) << 8);
  const std::uint64_t sign = static_cast<std::uint64_t>(head >> 15) << 63;
  const int biased = static_cast<int>(head & 0x7FFF);
  // Patterns the x87 does not take as numbers (an exponent without the
  // integer bit: unnormals, pseudo-infinities, pseudo-NaNs) give its default
  // NaN, as loading them there does.
  if (biased != 0 && (significand & kIntegerBit) == 0) return std::bit_cast<double>(kDefaultNaN);
  if (biased == 0x7FFF) {
    if (significand == kIntegerBit) return std::bit_cast<double>(sign | (std::uint64_t{0x7FF} << 52));
    // A NaN comes back quiet with the top of its payload.
    const std::uint64_t payload = (significand >> 11) & kDoubleFraction;
    return std::bit_cast<double>(sign | (std::uint64_t{0x7FF} << 52) | (std::uint64_t{1} << 51) | payload);
  }
  if (significand == 0) return std::bit_cast<double>(sign);
  // value = significand * 2^(exponent - 63), normalised so that bit 63 is set;
  // an exponent field of 0 counts as 1, as for subnormals.
  int exponent = (biased == 0 ? 1 : biased) - kExtendedBias;
  const int leading = std::countl_zero(significand);
  significand <<= leading;
  exponent -= leading;
  if (exponent >= -(kDoubleBias - 1)) {
    std::uint64_t kept = ShiftRounded(significand, 11);
    if (kept == std::uint64_t{1} << 53) kept >>= 1, ++exponent;
    if (exponent > kDoubleBias) return std::bit_cast<double>(sign | (std::uint64_t{0x7FF} << 52));
    const auto field = static_cast<std::uint64_t>(exponent + kDoubleBias);
    return std::bit_cast<double>(sign | (field << 52) | (kept & kDoubleFraction));
  }
  // A subnormal double counts units of 2^-1074; rounding up may reach the
  // smallest normal value, whose bits are the same number.
  return std::bit_cast<double>(sign | ShiftRounded(significand, -(exponent + 1011)));
}

}  // namespace kel
