#pragma once
// The layout of bound program data, shared by its writer and its reader. All
// numbers are little-endian u16 unless said otherwise.
//
//   0xFFFF, then per function: name (u16 length, bytes), name count, tokens
//   from the "{" of its body, each its code and a payload, ending in 0xFFFE;
//   the reader skips any other u16 between functions. Two records of our own
//   are written in hexadecimal digits, so that a reader that does not know
//   them skips them (no pair of digits reads as 0xFFFF):
//   - after each function, 0xFFFC and its names: the parameter count in 4
//     digits, then per name its length in 4 digits and its bytes in 2 digits
//     each, so that messages and Interpret still know a bound function's
//     parameters and locals by name;
//   - at the end, the integrity record: 0xFFFD and the SHA-256 of the bytes
//     before it in 64 digits.

#include <cstddef>
#include <cstdint>

#include "engine/token.h"

namespace kel::bound {

constexpr std::uint16_t kFunctionRecord = 0xFFFF;
constexpr std::uint16_t kEndOfTokens = 0xFFFE;
constexpr std::uint16_t kIntegrityRecord = 0xFFFD;
constexpr std::uint16_t kNamesRecord = 0xFFFC;
constexpr std::size_t kDigestDigits = 64;
constexpr std::size_t kIntegritySize = 2 + kDigestDigits;

// Value records: the low byte of the tag tells them apart (the high byte is
// written as shown and ignored when read). A plain value's tag is its type
// code (byte, integer, float) followed by its raw bytes.
constexpr std::uint16_t kEnvironmentReference = 0xFFFA;
constexpr std::uint16_t kGlobalReference = 0xFFFB;
constexpr std::uint16_t kStringConstant = 0x00FC;
constexpr std::uint16_t kByteArrayConstant = 0x00FD;

// What follows a token's code.
enum class Payload { NONE, TEXT, VALUE, SLOT, DISTANCE };

constexpr Payload PayloadOf(std::uint16_t code) {
  switch (code) {
    case TOK_NAME: case TOK_LABEL: case TOK_GOTO: case TOK_CALL_OPEN: case TOK_MEMBER: return Payload::TEXT;
    case TOK_VALUE: return Payload::VALUE;
    case TOK_VARSLOT: return Payload::SLOT;
    case TOK_GROUP_CLOSE: case TOK_INDEX_CLOSE: case TOK_BLOCK_CLOSE: case TOK_CALL_CLOSE: return Payload::DISTANCE;
    default: return Payload::NONE;
  }
}

// The opening token a closing one is partnered with (0 for other codes).
constexpr std::uint16_t OpenerOf(std::uint16_t code) {
  switch (code) {
    case TOK_GROUP_CLOSE: return TOK_GROUP_OPEN;
    case TOK_INDEX_CLOSE: return TOK_INDEX_OPEN;
    case TOK_BLOCK_CLOSE: return TOK_BLOCK_OPEN;
    case TOK_CALL_CLOSE: return TOK_CALL_OPEN;
    case TOK_COND_COLON: return TOK_QUESTION;
    default: return 0;
  }
}

constexpr bool IsOpener(std::uint16_t code) {
  return code == TOK_GROUP_OPEN || code == TOK_INDEX_OPEN || code == TOK_BLOCK_OPEN || code == TOK_CALL_OPEN ||
         code == TOK_QUESTION;
}

}  // namespace kel::bound
