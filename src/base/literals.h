#pragma once
// Decoding of number, string and character literals.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kel {

struct NumberLiteral {
  bool isFloat;
  std::int32_t integer;
  double real;
  std::size_t length;  // characters consumed
};

// Parses the number at the start of [text] twice, as an integer (hex read as
// unsigned 32-bit, otherwise C's signed long with automatic base) and as a
// decimal floating-point number; the longer parse decides, the integer on a tie.
NumberLiteral ParseNumber(std::string_view text);

struct QuotedLiteral {
  std::string bytes;   // the decoded characters
  std::size_t length;  // characters consumed, both delimiters included
};

// Decodes the literal at the start of [text], whose first character is its
// delimiter (double quote, single quote or back quote). Returns nothing when
// the line ends before the closing delimiter.
std::optional<QuotedLiteral> ParseQuoted(std::string_view text);

}  // namespace kel
