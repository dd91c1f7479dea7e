#pragma once
// C's long as scripts know it: 32 bits wide on every system, whatever width
// the C library's long has. Values the C library produced as a wider long
// are brought into that range the way a 32-bit C library would have.

#include <cstdint>
#include <cstdlib>

namespace kel {

// [value] saturated as a 32-bit strtol saturates.
constexpr std::int32_t SaturateToLong32(long long value) {
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

// The result of a wider strtoul as a 32-bit strtoul leaves it: a negated
// magnitude that fits 32 bits wraps within them, any other value above
// 32 bits saturates.
constexpr std::uint32_t SaturateToUnsignedLong32(unsigned long long value) {
  if (value <= 0xFFFFFFFFull) return static_cast<std::uint32_t>(value);
  if (value > ~0ull - 0xFFFFFFFFull) return static_cast<std::uint32_t>(value);
  return 0xFFFFFFFFu;
}

// strtol with a 32-bit long: [stop] (when not null) gets where the number
// ends, which does not depend on the width.
inline std::int32_t StringToLong32(const char* text, char** stop, int base) {
  return SaturateToLong32(std::strtoll(text, stop, base));
}

}  // namespace kel
