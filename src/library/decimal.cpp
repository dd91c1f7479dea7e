// OPTIMIZATION: "%.2f" and its kind are the commonest float directives, and
// the C formatter's general multi-precision path costs thousands of steps.
// A double whose magnitude is below 1e9 is m * 2^e with a 53-bit m; scaled by
// 10^N (N <= 9) it is m * 10^N * 2^e, whose integer part and remainder need at
// most 83 bits: two 64-bit words hold them exactly, so the rounding is exact.

#include "library/decimal.h"

#include <cmath>
#include <cstdint>

namespace kel {

namespace {

constexpr std::uint64_t kPowersOfTen[] = {1,      10,      100,      1000,      10000,
                                          100000, 1000000, 10000000, 100000000, 1000000000};

// An unsigned 128-bit number in two words.
struct Wide {
  std::uint64_t high;
  std::uint64_t low;
};

Wide Multiply(std::uint64_t a, std::uint32_t b) {
  const std::uint64_t lowPart = (a & 0xFFFFFFFFu) * b;
  const std::uint64_t highPart = (a >> 32) * b;
  Wide result;
  result.low = lowPart + (highPart << 32);
  result.high = (highPart >> 32) + (result.low < lowPart ? 1 : 0);
  return result;
}

// [value] >> [shift] (shift 1..127), the bits shifted out, and whether they
// are below, at or above half of 2^shift (-1, 0, 1).
std::uint64_t ShiftRounding(const Wide& value, int shift, int& against) {
  std::uint64_t quotient;
  Wide rest;  // the bits shifted out
  Wide half;
  if (shift < 64) {
    quotient = (value.low >> shift) | (value.high << (64 - shift));
    rest = Wide{0, value.low & ((std::uint64_t{1} << shift) - 1)};
    half = Wide{0, std::uint64_t{1} << (shift - 1)};
  } else if (shift == 64) {
    quotient = value.high;
    rest = Wide{0, value.low};
    half = Wide{0, std::uint64_t{1} << 63};
  } else {
    quotient = value.high >> (shift - 64);
    rest = Wide{value.high & ((std::uint64_t{1} << (shift - 64)) - 1), value.low};
    half = Wide{std::uint64_t{1} << (shift - 65), 0};
  }
  if (rest.high != half.high) {
    against = rest.high < half.high ? -1 : 1;
  } else {
    against = rest.low < half.low ? -1 : rest.low > half.low ? 1 : 0;
  }
  return quotient;
}

void AppendDigits(std::string& out, std::uint64_t value, int minimum) {
  char digits[24];
  int count = 0;
  while (value != 0 || count < minimum) {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  while (count > 0) out += digits[--count];
}

}  // namespace

bool AppendFixed(std::string& out, double value, int precision) {
  if (!std::isfinite(value) || precision < 0 || precision > 9) return false;
  const double magnitude = std::fabs(value);
  if (magnitude >= 1e9) return false;
  std::uint64_t scaled = 0;  // the value times 10^precision, rounded
  if (magnitude != 0.0) {
    int exponent;
    const double fraction = std::frexp(magnitude, &exponent);  // magnitude = fraction * 2^exponent
    const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
    const int shift = 53 - exponent;  // magnitude = mantissa / 2^shift, shift > 23
    const Wide product = Multiply(mantissa, static_cast<std::uint32_t>(kPowersOfTen[precision]));
    if (shift < 128) {
      int against;
      scaled = ShiftRounding(product, shift, against);
      if (against > 0 || (against == 0 && (scaled & 1) != 0)) ++scaled;
    }  // else the product is below 2^83, far below half of 2^shift: it rounds to 0
  }
  if (std::signbit(value)) out += '-';
  const std::uint64_t unit = kPowersOfTen[precision];
  AppendDigits(out, scaled / unit, 1);
  if (precision > 0) {
    out += '.';
    AppendDigits(out, scaled % unit, precision);
  }
  return true;
}

}  // namespace kel
