#pragma once
// Arithmetic on scalars by kind, shared by the operator routines and the
// engine's fast paths: bytes wrap at 8 bits, integers at 32, floats are
// doubles.

#include <cstdint>

#include "engine/token.h"
#include "engine/value.h"

namespace kel {

inline bool IsZeroScalar(const Scalar& value) {
  switch (value.type) {
    case KEL_BYTE: return value.byteValue == 0;
    case KEL_INT: return value.intValue == 0;
    default: return value.floatValue == 0.0;
  }
}

// The most negative integer divided by -1 (which C leaves undefined) gives
// itself, and its remainder 0.
inline std::int32_t IntegerArithmetic(std::uint16_t code, std::int32_t a, std::int32_t b) {
  const std::uint32_t ua = static_cast<std::uint32_t>(a), ub = static_cast<std::uint32_t>(b);
  switch (code) {
    case TOK_ADD: return static_cast<std::int32_t>(ua + ub);
    case TOK_SUB: return static_cast<std::int32_t>(ua - ub);
    case TOK_MUL: return static_cast<std::int32_t>(ua * ub);
    case TOK_DIV: return (a == INT32_MIN && b == -1) ? INT32_MIN : a / b;
    default: return (b == -1) ? 0 : a % b;
  }
}

inline std::uint8_t ByteArithmetic(std::uint16_t code, std::uint8_t a, std::uint8_t b) {
  switch (code) {
    case TOK_ADD: return static_cast<std::uint8_t>(a + b);
    case TOK_SUB: return static_cast<std::uint8_t>(a - b);
    case TOK_MUL: return static_cast<std::uint8_t>(a * b);
    case TOK_DIV: return static_cast<std::uint8_t>(a / b);
    default: return static_cast<std::uint8_t>(a % b);
  }
}

inline double FloatArithmetic(std::uint16_t code, double a, double b) {
  switch (code) {
    case TOK_ADD: return a + b;
    case TOK_SUB: return a - b;
    case TOK_MUL: return a * b;
    default: return a / b;
  }
}

// "+ - * / %" on two numbers; the kind of the result is the higher one. The
// divisor must not be zero.
inline Scalar Arithmetic(std::uint16_t code, const Scalar& a, const Scalar& b) {
  const int kind = a.type > b.type ? a.type : b.type;
  if (kind == KEL_INT) return MakeInt(IntegerArithmetic(code, ScalarToInt(a), ScalarToInt(b)));
  if (kind == KEL_FLOAT) return MakeFloat(FloatArithmetic(code, ScalarToFloat(a), ScalarToFloat(b)));
  return MakeByte(ByteArithmetic(code, a.byteValue, b.byteValue));
}

// Bitwise operators and shifts on the 32-bit integers of both operands; bytes
// stay bytes when both are. ">>" is logical; the count is taken modulo 32.
inline std::uint32_t IntegerBitwise(std::uint16_t code, std::uint32_t x, std::uint32_t y) {
  switch (code) {
    case TOK_BITAND: return x & y;
    case TOK_BITOR: return x | y;
    case TOK_BITXOR: return x ^ y;
    case TOK_SHL: return x << (y & 31);
    default: return x >> (y & 31);
  }
}

inline Scalar Bitwise(std::uint16_t code, const Scalar& a, const Scalar& b) {
  const std::uint32_t result = IntegerBitwise(code, static_cast<std::uint32_t>(ScalarToInt(a)),
                                              static_cast<std::uint32_t>(ScalarToInt(b)));
  if (a.type == KEL_BYTE && b.type == KEL_BYTE) return MakeByte(static_cast<std::uint8_t>(result));
  return MakeInt(static_cast<std::int32_t>(result));
}

// Numbers compare as integers unless one is a float; a NaN compares equal.
inline int CompareNumbers(const Scalar& a, const Scalar& b) {
  if (a.type != KEL_FLOAT && b.type != KEL_FLOAT) {
    const std::int32_t x = ScalarToInt(a), y = ScalarToInt(b);
    return x < y ? -1 : x > y ? 1 : 0;
  }
  const double x = ScalarToFloat(a), y = ScalarToFloat(b);
  return x < y ? -1 : x > y ? 1 : 0;
}

// A binary operator on two numbers exactly as the general routine computes
// it; false for the cases that report an error (a zero divisor, a float for
// an integer-only operator), which the general path then reports.
inline bool NumericBinary(std::uint16_t code, const Scalar& a, const Scalar& b, Scalar& out) {
  // OPTIMIZATION: float arithmetic on two floats, the usual case, at once.
  if (a.type == KEL_FLOAT && b.type == KEL_FLOAT) {
    switch (code) {
      case TOK_ADD: out = MakeFloat(a.floatValue + b.floatValue); return true;
      case TOK_SUB: out = MakeFloat(a.floatValue - b.floatValue); return true;
      case TOK_MUL: out = MakeFloat(a.floatValue * b.floatValue); return true;
      default: break;
    }
  }
  switch (code) {
    case TOK_ADD: case TOK_SUB: case TOK_MUL:
      out = Arithmetic(code, a, b);
      return true;
    case TOK_DIV:
      if (IsZeroScalar(b)) return false;
      out = Arithmetic(code, a, b);
      return true;
    case TOK_MOD:
      if (a.type == KEL_FLOAT || b.type == KEL_FLOAT || IsZeroScalar(b)) return false;
      out = Arithmetic(code, a, b);
      return true;
    case TOK_BITAND: case TOK_BITOR: case TOK_BITXOR: case TOK_SHL: case TOK_SHR:
      if (a.type == KEL_FLOAT || b.type == KEL_FLOAT) return false;
      out = Bitwise(code, a, b);
      return true;
    case TOK_EQ: out = MakeInt(CompareNumbers(a, b) == 0); return true;
    case TOK_NE: out = MakeInt(CompareNumbers(a, b) != 0); return true;
    case TOK_LT: out = MakeInt(CompareNumbers(a, b) < 0); return true;
    case TOK_LE: out = MakeInt(CompareNumbers(a, b) <= 0); return true;
    case TOK_GT: out = MakeInt(CompareNumbers(a, b) > 0); return true;
    case TOK_GE: out = MakeInt(CompareNumbers(a, b) >= 0); return true;
    default: return false;
  }
}

}  // namespace kel
