// Number, string and character literals.

#include "base/literals.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace kel {

namespace {

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// C's strtol on a 32-bit long with base 0, except that hexadecimal reads as an
// unsigned 32-bit value (0xFFFFFFFF is -1). Overflow saturates as strtol and
// strtoul do.
std::int32_t ParseInteger(std::string_view text, std::size_t& length) {
  length = 0;
  if (text.empty() || DigitValue(text[0]) > 9) return 0;
  int base = 10;
  std::size_t at = 0;
  if (text[0] == '0') {
    if (text.size() > 2 && (text[1] == 'x' || text[1] == 'X') && DigitValue(text[2]) < 16) {
      base = 16;
      at = 2;
    } else {
      base = 8;
    }
  }
  std::uint64_t value = 0;
  bool saturated = false;
  while (at < text.size() && DigitValue(text[at]) < base) {
    value = value * static_cast<unsigned>(base) + static_cast<unsigned>(DigitValue(text[at]));
    if (value > 0xFFFFFFFFu) saturated = true, value = 0xFFFFFFFFu;
    ++at;
  }
  length = at;
  if (base == 16) return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
  if (saturated || value > static_cast<std::uint64_t>(INT32_MAX)) return INT32_MAX;
  return static_cast<std::int32_t>(value);
}

// The length of the decimal floating-point number at the start of [text]:
// digits, an optional fraction, an optional exponent with at least one digit.
std::size_t FloatLength(std::string_view text) {
  std::size_t at = 0;
  std::size_t digits = 0;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at, ++digits;
  if (at < text.size() && text[at] == '.') {
    ++at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at, ++digits;
  }
  if (digits == 0) return 0;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    std::size_t exponent = at + 1;
    if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) ++exponent;
    if (exponent < text.size() && text[exponent] >= '0' && text[exponent] <= '9') {
      while (exponent < text.size() && text[exponent] >= '0' && text[exponent] <= '9') ++exponent;
      at = exponent;
    }
  }
  return at;
}

}  // namespace

NumberLiteral ParseNumber(std::string_view text) {
  NumberLiteral result{false, 0, 0.0, 0};
  std::size_t integerLength = 0;
  result.integer = ParseInteger(text, integerLength);
  std::size_t floatLength = FloatLength(text);
  if (floatLength > integerLength) {
    std::string digits(text.substr(0, floatLength));
    result.isFloat = true;
    result.real = std::strtod(digits.c_str(), nullptr);
    result.length = floatLength;
  } else {
    result.length = integerLength;
  }
  return result;
}

namespace {

// Decodes the escape after a backslash at [text][at]; advances [at] past it.
char DecodeEscape(std::string_view text, std::size_t& at) {
  char c = text[at++];
  switch (c) {
    case 'a': return 7;
    case 'b': return 8;
    case 'f': return 12;
    case 'n': return 10;
    case 'r': return 13;
    case 't': return 9;
    case 'v': return 11;
    case 'x':
    case 'X': {
      int value = 0, digits = 0;
      while (digits < 2 && at < text.size() && DigitValue(text[at]) < 16) {
        value = value * 16 + DigitValue(text[at++]);
        ++digits;
      }
      return digits == 0 ? c : static_cast<char>(value);
    }
    default:
      break;
  }
  if (c >= '0' && c <= '7') {
    int value = c - '0', digits = 1;
    while (digits < 3 && at < text.size() && text[at] >= '0' && text[at] <= '7') {
      value = value * 8 + (text[at++] - '0');
      ++digits;
    }
    return static_cast<char>(value & 0xFF);  // \777 keeps its low eight bits, as C compilers do
  }
  return c;
}

}  // namespace

std::optional<QuotedLiteral> ParseQuoted(std::string_view text) {
  const char delimiter = text[0];
  const bool escapes = delimiter != '`';
  QuotedLiteral literal;
  std::size_t at = 1;
  while (at < text.size()) {
    char c = text[at];
    if (c == delimiter) {
      literal.length = at + 1;
      return literal;
    }
    if (c == '\\' && escapes && at + 1 < text.size()) {
      ++at;
      literal.bytes += DecodeEscape(text, at);
      continue;
    }
    if (c == '\\' && escapes) break;  // a backslash ending the line escapes nothing
    literal.bytes += c;
    ++at;
  }
  return std::nullopt;
}

}  // namespace kel
