#pragma once
// Pieces of the statement runner that the walker and the flat code runner
// share.

#include <cstdint>

#include "base/process.h"
#include "engine/code.h"
#include "engine/context.h"
#include "engine/evaluate.h"
#include "engine/quick_int.h"
#include "platform/system.h"

namespace kel {

constexpr std::uint16_t MODE_ONE = STATUS_DONE;
constexpr std::uint16_t MODE_CONTINUE = STATUS_CONTINUE;
constexpr std::uint16_t MODE_BREAK = STATUS_BREAK;

// The run of [frame], its position set to [node]'s token: errors name the
// line of the node that raised them.
inline Context& At(CallFrame& frame, const ExprNode* node) {
  frame.run->position = node->token;
  return *frame.run;
}

// The status a construct ends with when the run stopped in it: the run's
// state, converted.
inline std::uint16_t StopStatus(const CallFrame& frame) {
  switch (frame.run->runState) {
    case RUN_ERROR: return STATUS_ERROR;
    case RUN_EXIT: return STATUS_EXIT;
    default: return STATUS_NONE;
  }
}

// The truth of a condition; false when the run stopped.
bool ConditionTruthSlowly(CallFrame& frame, const ExprNode* condition, int& truth);
inline bool ConditionTruth(CallFrame& frame, const ExprNode* condition, int& truth) {
  std::int32_t integer;
  if ((condition->flags & EXPR_PURE) && QuickInt(frame, condition, integer)) {
    truth = integer != 0;
    return true;
  }
  return ConditionTruthSlowly(frame, condition, truth);
}

// OPTIMIZATION: a return value that is a plain integer becomes the call's
// result without an operand; false, having done nothing, otherwise.
inline bool ReturnInteger(CallFrame& frame, const ExprNode* value) {
  std::int32_t integer;
  if (value == nullptr || !(value->flags & EXPR_PURE) || !QuickInt(frame, value, integer)) return false;
  frame.result->SetScalar(MakeInt(integer));
  return true;
}

// A running return statement with a value that ReturnInteger declined: the
// value evaluated and made the call's result; STATUS_RETURN, or the run
// state when it stopped.
std::uint16_t ReturnEvaluated(CallFrame& frame, const StmtNode* statement);

// Runs the body or branch [statement] of a construct in [mode], which runs
// one statement.
std::uint16_t RunBranch(CallFrame& frame, const StmtNode* statement, std::uint16_t mode);

// False, with 0002 raised, when the break or continue [statement] stands
// where [mode] does not allow it ([allowedBit]).
bool LoopControlAllowed(CallFrame& frame, const StmtNode* statement, std::uint16_t mode, std::uint16_t allowedBit);

// Ends the search of a goto when [statement] is the label it looks for.
void PassLabel(CallFrame& frame, const StmtNode* statement);

// Raises 1204 for a do without its while, at the do; false.
bool DoWithoutWhile(CallFrame& frame, const StmtNode* statement);

// The items of the switch [statement] in order, and once more from the
// default when nothing matched: [onCase](item, matched) takes each case label
// (false when the run stopped), [onStatement](item, run) each other item,
// which runs when [run] (a case matched, or a goto searches) and is walked
// otherwise. A label that ends a goto's search counts as a match. The status
// the body ended with, unmasked.
template <typename OnCase, typename OnStatement>
std::uint16_t SwitchBody(CallFrame& frame, const StmtNode* statement, OnCase onCase, OnStatement onStatement) {
  bool matched = false;
  bool rescanned = false;
  std::int64_t defaultAt = -1;
  std::uint16_t status = STATUS_DONE;
  for (std::uint32_t i = 0; i < statement->count; ++i) {
    const StmtNode* item = statement->items[i];
    if (item->kind == ST_BLOCK_END) {
      if (!matched && defaultAt >= 0 && !rescanned) {
        matched = rescanned = true;
        i = static_cast<std::uint32_t>(defaultAt) - 1;
        continue;
      }
      break;
    }
    if (item->kind == ST_DEFAULT) {
      defaultAt = i + 1;
      continue;
    }
    if (item->kind == ST_CASE) {
      if (!onCase(item, matched)) return StopStatus(frame);
      continue;
    }
    const bool searching = frame.pendingGoto != nullptr;
    status = onStatement(item, matched || searching);
    if (searching && frame.pendingGoto == nullptr) matched = true;
    if (status == STATUS_DONE) continue;
    if (status == STATUS_BREAK) status = STATUS_DONE;
    break;
  }
  return status;
}

// Makes the error or exit request BeforeRunning found a reason for (a break
// request, else a stack nearly used up); false.
bool StopBeforeRunning(CallFrame& frame);

// Between statements: lets a windowed host handle its window's messages when
// it asked to, then stops the run (false) on a break request or a stack that
// nesting has nearly used up.
bool Attend(CallFrame& frame);

// The checks before a function body and every pass of a loop body: false
// (with the error or exit request made) when the machine stack is nearly
// used up or the user asked for a break. Inlined: every call makes them.
inline bool BeforeRunning(CallFrame& frame) {
  if (platform::StackRemaining() < kStackGuard || (BreakRequested | PumpRequested)) [[unlikely]] {
    return Attend(frame);
  }
  return true;
}

}  // namespace kel
