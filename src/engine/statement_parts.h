#pragma once
// Pieces of the statement runner that the flat code runner shares.

#include <cstdint>

#include "engine/code.h"
#include "engine/quick_int.h"

namespace kel {

// The truth of a condition; false when the run stopped. [execute] false only
// walks it.
bool ConditionTruthSlowly(CallFrame& frame, const ExprNode* condition, bool execute, int& truth);
inline bool ConditionTruth(CallFrame& frame, const ExprNode* condition, bool execute, int& truth) {
  std::int32_t integer;
  if (execute && (condition->flags & EXPR_PURE) && QuickInt(frame, condition, integer)) {
    truth = integer != 0;
    return true;
  }
  return ConditionTruthSlowly(frame, condition, execute, truth);
}

// OPTIMIZATION: a return value that is a plain integer becomes the call's
// result without an operand; false, having done nothing, otherwise.
inline bool ReturnInteger(CallFrame& frame, const ExprNode* value) {
  std::int32_t integer;
  if (value == nullptr || !(value->flags & EXPR_PURE) || !QuickInt(frame, value, integer)) return false;
  frame.result.SetScalar(MakeInt(integer));
  frame.hasResult = true;
  return true;
}

// Runs a return statement; STATUS_RETURN, or the run state when it stopped.
std::uint16_t ReturnStatement(CallFrame& frame, const StmtNode* statement);

// Makes the error or exit request BeforeRunning found a reason for; false.
bool StopBeforeRunning(CallFrame& frame);

}  // namespace kel
