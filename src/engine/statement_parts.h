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

// Runs a return statement; STATUS_RETURN, or the run state when it stopped.
std::uint16_t ReturnStatement(CallFrame& frame, const StmtNode* statement);

// Makes the error or exit request BeforeRunning found a reason for; false.
bool StopBeforeRunning(CallFrame& frame);

}  // namespace kel
