// Walking code without running it: the position moves, errors of form are
// reported, and a goto's label ends its search where the walk passes it.

#include "engine/walk.h"

#include <cstdint>

#include "engine/code.h"
#include "engine/context.h"
#include "engine/evaluate.h"
#include "engine/messages.h"
#include "engine/statement_parts.h"
#include "platform/system.h"

namespace kel {

bool ReportErrorNode(CallFrame& frame, const ExprNode* node) {
  const bool always = (node->flags & EXPR_RAISE_ALWAYS) != 0;
  return RaiseFormatted(At(frame, node), node->errorText, always ? RaiseMode::UNLESS_FAILED : RaiseMode::WHILE_RUNNING);
}

std::uint16_t ReportErrorStatement(CallFrame& frame, const StmtNode* statement) {
  RaiseFormatted(*frame.run, statement->errorText, RaiseMode::WHILE_RUNNING);
  return StopStatus(frame);
}

std::uint16_t WalkLoopAfterBreak(CallFrame& frame, const StmtNode* loop, std::uint16_t bodyMode) {
  if (!WalkExpression(frame, loop->expr)) return StopStatus(frame);
  WalkStatement(frame, loop->body, bodyMode);
  if (frame.run->runState != RUN_RUNNING) return StopStatus(frame);
  return STATUS_DONE;
}

// Operands in the order running takes them; the node's own error after them.
bool WalkExpression(CallFrame& frame, const ExprNode* node) {
  if (node->flags & EXPR_WALK_INERT) return true;
  if (platform::StackRemaining() < kStackGuard) return StopBeforeRunning(frame);
  for (const ExprNode* child : {node->left, node->right, node->third}) {
    if (child != nullptr && !WalkExpression(frame, child)) return false;
  }
  for (std::uint32_t k = 0; k < node->count; ++k) {
    if (WalkExpression(frame, node->items[k])) continue;
    if (node->kind != EX_CALL) return false;
    return RaiseErrorIfRunning(At(frame, node->items[k]), MSG_1501, static_cast<int>(k + 1));
  }
  switch (node->kind) {
    case EX_ERROR: return ReportErrorNode(frame, node);
    case EX_MEMBER: return node->name != nullptr || RaiseErrorIfRunning(At(frame, node), MSG_1602);
    default: return true;
  }
}

namespace {

std::uint16_t BodyMode(std::uint16_t mode) { return mode | MODE_ONE | MODE_CONTINUE | MODE_BREAK; }

// While a goto searches its label, a branch passed over is searched as
// running searches it.
std::uint16_t WalkBranch(CallFrame& frame, const StmtNode* branch, std::uint16_t mode) {
  if (frame.pendingGoto != nullptr) return RunBranch(frame, branch, mode);
  return WalkStatement(frame, branch, mode);
}

std::uint16_t WalkIf(CallFrame& frame, const StmtNode* statement, std::uint16_t mode) {
  if (!WalkExpression(frame, statement->expr)) return StopStatus(frame);
  const std::uint16_t status = WalkBranch(frame, statement->body, mode | MODE_ONE);
  if (status != STATUS_DONE || statement->other == nullptr) return status & mode;
  return WalkBranch(frame, statement->other, mode | MODE_ONE) & mode;
}

// The condition and the body once; while a goto searches, the body is
// searched, and when the label is in it the loop's first pass goes on from
// there before the walk passes the loop once more.
std::uint16_t WalkWhile(CallFrame& frame, const StmtNode* statement, std::uint16_t mode) {
  const std::uint16_t bodyMode = BodyMode(mode);
  if (!WalkExpression(frame, statement->expr)) return StopStatus(frame);
  if (frame.pendingGoto == nullptr) return WalkStatement(frame, statement->body, bodyMode) & mode;
  if (!BeforeRunning(frame)) return StopStatus(frame);
  std::uint16_t status = RunBranch(frame, statement->body, bodyMode);
  if (frame.pendingGoto != nullptr) {
    return (status == STATUS_CONTINUE ? std::uint16_t{STATUS_DONE} : status) & mode;
  }
  if (status == STATUS_BREAK) {
    status = WalkLoopAfterBreak(frame, statement, bodyMode);
    return status == STATUS_DONE ? status & mode : status;
  }
  if (status == STATUS_CONTINUE) status = STATUS_DONE;
  if (status != STATUS_DONE) return status & mode;
  if (!WalkExpression(frame, statement->expr)) return StopStatus(frame);
  return WalkStatement(frame, statement->body, bodyMode) & mode;
}

std::uint16_t WalkDo(CallFrame& frame, const StmtNode* statement, std::uint16_t mode) {
  const std::uint16_t status = WalkStatement(frame, statement->body, BodyMode(mode));
  if (status != STATUS_DONE) return status & mode;
  if (statement->flag) {
    DoWithoutWhile(frame, statement);
    return StopStatus(frame);
  }
  if (!WalkExpression(frame, statement->expr)) return StopStatus(frame);
  return status & mode;
}

// A for loop's header is not walked, only its body.
std::uint16_t WalkFor(CallFrame& frame, const StmtNode* statement, std::uint16_t mode) {
  if (statement->body != nullptr) {
    WalkStatement(frame, statement->body, BodyMode(mode));
    if (frame.run->runState != RUN_RUNNING) return StopStatus(frame);
  }
  return STATUS_DONE & mode;
}

// The case values and the statements, each walked.
std::uint16_t WalkSwitch(CallFrame& frame, const StmtNode* statement, std::uint16_t mode) {
  if (!WalkExpression(frame, statement->expr)) return StopStatus(frame);
  const std::uint16_t innerMode = mode | MODE_ONE | MODE_BREAK;
  const std::uint16_t status = SwitchBody(
      frame, statement, [&](const StmtNode* item, bool&) { return WalkExpression(frame, item->expr); },
      [&](const StmtNode* item, bool) { return WalkStatement(frame, item, innerMode); });
  return status & mode;
}

std::uint16_t WalkLoopControl(CallFrame& frame, const StmtNode* statement, std::uint16_t mode,
                              std::uint16_t allowedBit) {
  return LoopControlAllowed(frame, statement, mode, allowedBit) ? std::uint16_t{STATUS_NONE} : StopStatus(frame);
}

std::uint16_t WalkKind(CallFrame& frame, const StmtNode* statement, std::uint16_t mode) {
  switch (statement->kind) {
    case ST_EXPRESSION:
    case ST_RETURN:
      if (statement->expr != nullptr && !WalkExpression(frame, statement->expr)) return StopStatus(frame);
      return STATUS_NONE;
    case ST_BLOCK_END: return STATUS_BLOCK_END;
    case ST_LABEL:
      PassLabel(frame, statement);
      return STATUS_NONE;
    case ST_BREAK: return WalkLoopControl(frame, statement, mode, MODE_BREAK);
    case ST_CONTINUE: return WalkLoopControl(frame, statement, mode, MODE_CONTINUE);
    case ST_IF: return WalkIf(frame, statement, mode);
    case ST_WHILE: return WalkWhile(frame, statement, mode);
    case ST_DO: return WalkDo(frame, statement, mode);
    case ST_FOR: return WalkFor(frame, statement, mode);
    case ST_SWITCH: return WalkSwitch(frame, statement, mode);
    case ST_ERROR: return ReportErrorStatement(frame, statement);
    default:  // a block is passed in one step; a goto does nothing
      return STATUS_NONE;
  }
}

}  // namespace

std::uint16_t WalkStatement(CallFrame& frame, const StmtNode* statement, std::uint16_t mode) {
  frame.run->position = statement->token;
  if (platform::StackRemaining() < kStackGuard) {
    StopBeforeRunning(frame);
    return StopStatus(frame);
  }
  if (!statement->walkInert) {
    const std::uint16_t status = WalkKind(frame, statement, mode);
    if (status != STATUS_NONE) return status;
  }
  return (mode & MODE_ONE) ? STATUS_DONE : STATUS_NONE;
}

}  // namespace kel
