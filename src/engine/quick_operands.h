#pragma once
// Fast forms of the general evaluator's steps that follow the evaluation of
// the operands: numbers computed and written without the operator routines.
// Inlined into the general routines, which take them first in a build with
// fast paths; each answers false, having changed nothing, where the general
// step must run.

#include <cstdint>

#include "engine/arithmetic.h"
#include "engine/operand.h"
#include "engine/quick_int.h"

namespace kel {

// A binary operator on two evaluated numbers.
inline bool QuickBinaryOperands(std::uint16_t op, const Operand& left, const Operand& right, Operand& out) {
  std::int32_t integer;
  if (left.var() == nullptr && right.var() == nullptr && left.scalar().type == KEL_INT &&
      right.scalar().type == KEL_INT && IntegerBinary(op, left.scalar().intValue, right.scalar().intValue, integer)) {
    out.SetScalar(MakeInt(integer));
    return true;
  }
  Scalar a, b, result;
  if (!left.NumberValue(a) || !right.NumberValue(b) || !NumericBinary(op, a, b, result)) return false;
  out.SetScalar(result);
  return true;
}

// The integer an evaluated operand holds, when it is a plain one.
inline bool IntOperand(const Operand& operand, std::int32_t& out) {
  if (operand.var() != nullptr) return IntVariable(operand.var(), out);
  out = operand.scalar().intValue;
  return operand.scalar().type == KEL_INT;
}

// x op= y for an evaluated number variable and number; [left] holds the result.
inline bool QuickCompoundOperands(std::uint16_t op, Operand& left, const Operand& right) {
  if (!left.IsLvalue()) return false;
  std::int32_t x, y;
  if (IntVariable(left.var(), x) && IntOperand(right, y) && IntegerBinary(op, x, y, x)) {
    left.var()->data->payload.intValue = x;  // an integer variable and an integer, the commonest case
    return true;
  }
  Scalar a, b, result;
  return left.NumberValue(a) && right.NumberValue(b) && NumericBinary(op, a, b, result) &&
         WriteNumber(left.var(), result);
}

// x++ and ++x for an evaluated variable holding a number.
inline bool QuickIncrement(Operand& operand, std::uint16_t code, Scalar& before, Scalar& after) {
  if (!operand.IsLvalue()) return false;
  std::int32_t integer;
  if (IntVariable(operand.var(), integer)) {
    const auto changed = static_cast<std::int32_t>(static_cast<std::uint32_t>(integer) + (code == TOK_INC ? 1u : ~0u));
    operand.var()->data->payload.intValue = changed;
    before = MakeInt(integer);
    after = MakeInt(changed);
    return true;
  }
  if (!operand.NumberValue(before)) return false;
  after = Arithmetic(TOK_ADD, before, MakeInt(code == TOK_INC ? 1 : -1));
  return WriteNumber(operand.var(), after) && ReadNumber(operand.var(), after);
}

}  // namespace kel
