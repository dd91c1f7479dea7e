// Running statements: blocks, expression statements, if/else, the loops,
// switch, break, continue, return, and goto with its search for the label.
// Every construct reports how it ended through a status word, masked with the
// mode its caller gave it. What a construct passes over without running (the
// branch not taken) goes to the walker.

#include <cstdio>

#include "base/fast_paths.h"
#include "base/host.h"
#include "base/process.h"
#include "base/text.h"
#include "engine/arithmetic.h"
#include "engine/calls.h"
#include "engine/code.h"
#include "engine/context.h"
#include "engine/evaluate.h"
#include "engine/functions.h"
#include "engine/messages.h"
#include "engine/quick.h"
#include "engine/quick_int.h"
#include "engine/statement_parts.h"
#include "engine/token.h"
#include "engine/walk.h"
#include "platform/system.h"

namespace kel {

bool ConditionTruthSlowly(CallFrame& frame, const ExprNode* condition, int& truth) {
  // OPTIMIZATION: a local that holds a string or a number (a loop over
  // strtok's results) is tested where it is, without an operand.
  if (kFastPaths && condition->kind == EX_LOCAL) {
    const Var* local = &frame.locals[condition->slot];
    if (local->data != nullptr && local->data->type != KEL_UNKNOWN && local->data->type != KEL_STRUCT) {
      truth = TruthValue(*frame.run, local);
      return true;
    }
  }
  if (kFastPaths && (condition->flags & EXPR_PURE)) {
    Scalar quick;
    if (QuickValue(frame, condition, quick)) {
      truth = IsZeroScalar(quick) ? 0 : 1;
      return true;
    }
  }
  Operand value;
  if (!Evaluate(frame, condition, value)) return false;
  frame.run->position = condition->token;
  return OperandTruth(*frame.run, value, truth);
}

bool LoopControlAllowed(CallFrame& frame, const StmtNode* statement, std::uint16_t mode, std::uint16_t allowedBit) {
  if ((mode & allowedBit) != 0) return true;
  frame.run->position = statement->token;
  return RaiseErrorIfRunning(*frame.run, MSG_0002, statement->token->code, TokenText(statement->token));
}

void PassLabel(CallFrame& frame, const StmtNode* statement) {
  if (frame.pendingGoto != nullptr && EqualsIgnoreCase(statement->label, frame.pendingGoto)) {
    frame.pendingGoto = nullptr;
  }
}

bool DoWithoutWhile(CallFrame& frame, const StmtNode* statement) {
  frame.run->position = statement->token;
  return RaiseErrorIfRunning(*frame.run, MSG_1204);
}

namespace {

constexpr std::uint16_t kStepMode = kBodyMode | MODE_ONE;  // a for loop's step: one statement

std::uint16_t RunStatement(CallFrame& frame, const StmtNode* statement, std::uint16_t mode);

// [statement] run when [run], otherwise walked.
std::uint16_t RunOrWalk(CallFrame& frame, const StmtNode* statement, std::uint16_t mode, bool run) {
  return run ? RunStatement(frame, statement, mode) : WalkStatement(frame, statement, mode);
}

std::uint16_t RunOrWalkBranch(CallFrame& frame, const StmtNode* statement, std::uint16_t mode, bool run) {
  return run ? RunBranch(frame, statement, mode) : WalkStatement(frame, statement, mode);
}

// The truth of [condition] when [run]; otherwise it is walked and counts as
// false. False when the run stopped.
bool TestCondition(CallFrame& frame, const ExprNode* condition, bool run, int& truth) {
  truth = 0;
  return run ? ConditionTruth(frame, condition, truth) : WalkExpression(frame, condition);
}

// The value of [expression] into [out] when [run]; otherwise it is walked.
bool EvaluateOrWalk(CallFrame& frame, const ExprNode* expression, bool run, Operand& out) {
  return run ? Evaluate(frame, expression, out) : WalkExpression(frame, expression);
}

[[gnu::noinline]] std::uint16_t LoopControl(CallFrame& frame, const StmtNode* statement, std::uint16_t mode,
                                            std::uint16_t allowedBit, std::uint16_t status) {
  if (!LoopControlAllowed(frame, statement, mode, allowedBit)) return StopStatus(frame);
  return frame.pendingGoto == nullptr ? status : std::uint16_t{STATUS_NONE};
}

[[gnu::noinline]] std::uint16_t Goto(CallFrame& frame, const StmtNode* statement) {
  if (frame.pendingGoto != nullptr) return STATUS_NONE;
  if (statement->label == nullptr) {
    RaiseErrorIfRunning(*frame.run, MSG_1209);
    return StopStatus(frame);
  }
  frame.pendingGoto = statement->label;
  return STATUS_GOTO;
}

[[gnu::noinline]] std::uint16_t Return(CallFrame& frame, const StmtNode* statement) {
  const bool running = frame.pendingGoto == nullptr;
  if (statement->expr == nullptr) return running ? STATUS_RETURN : STATUS_NONE;
  if (!running) return WalkExpression(frame, statement->expr) ? std::uint16_t{STATUS_NONE} : StopStatus(frame);
  if (ReturnInteger(frame, statement->expr)) return STATUS_RETURN;
  return ReturnEvaluated(frame, statement);
}

}  // namespace

std::uint16_t ReturnEvaluated(CallFrame& frame, const StmtNode* statement) {
  Operand value;
  if (!Evaluate(frame, statement->expr, value)) return StopStatus(frame);
  if (!value.IsDefined()) {
    Context& run = *frame.run;
    run.position = statement->expr->token;
    RaiseUndefined(run, value.var());
    return StopStatus(frame);
  }
  if (value.var() == nullptr || IsNumericScalar(value.var())) {
    frame.result->SetScalar(value.Value());
  } else {
    Var* copy = CopyToFreshVar(*frame.run, value);
    if (copy == nullptr) return StopStatus(frame);
    frame.result->SetOwned(copy);
  }
  return STATUS_RETURN;
}

namespace {

[[gnu::noinline]] std::uint16_t If(CallFrame& frame, const StmtNode* statement, std::uint16_t mode) {
  const bool running = frame.pendingGoto == nullptr;
  int truth = 0;
  if (!TestCondition(frame, statement->expr, running, truth)) return StopStatus(frame);
  std::uint16_t status = RunOrWalkBranch(frame, statement->body, mode | MODE_ONE, !running || truth);
  if (status != STATUS_DONE) return status & mode;
  if (statement->other == nullptr) return status & mode;
  status = RunOrWalkBranch(frame, statement->other, mode | MODE_ONE, frame.pendingGoto != nullptr || (running && !truth));
  return status & mode;
}

[[gnu::noinline]] std::uint16_t While(CallFrame& frame, const StmtNode* statement, std::uint16_t mode) {
  const std::uint16_t bodyMode = mode | MODE_ONE | MODE_CONTINUE | MODE_BREAK;
  bool search = frame.pendingGoto != nullptr;
  std::uint16_t status = STATUS_DONE;
  for (;;) {
    const bool running = !search;
    int truth = 0;
    if (!TestCondition(frame, statement->expr, running, truth)) return StopStatus(frame);
    const bool runBody = search || (running && truth);
    if (runBody && !BeforeRunning(frame)) return StopStatus(frame);
    status = RunOrWalkBranch(frame, statement->body, bodyMode, runBody);
    if (search && frame.pendingGoto == nullptr) {
      search = false;  // the label was in the body: the loop goes on normally
    } else if (search) {
      if (status == STATUS_DONE || status == STATUS_CONTINUE) status = STATUS_DONE;
      break;
    }
    if (status == STATUS_BREAK) {
      status = WalkLoopAfterBreak(frame, statement, bodyMode);
      if (status != STATUS_DONE) return status;
      break;
    }
    if (status == STATUS_CONTINUE) status = STATUS_DONE;
    if (status != STATUS_DONE || !runBody) break;
  }
  return status & mode;
}

[[gnu::noinline]] std::uint16_t Do(CallFrame& frame, const StmtNode* statement, std::uint16_t mode) {
  const std::uint16_t bodyMode = mode | MODE_ONE | MODE_CONTINUE | MODE_BREAK;
  std::uint16_t status;
  for (bool first = true;; first = false) {
    if (!BeforeRunning(frame)) return StopStatus(frame);
    status = RunBranch(frame, statement->body, bodyMode);
    if (first && (status == STATUS_BREAK || status == STATUS_CONTINUE)) {
      WalkStatement(frame, statement->body, bodyMode);
      if (frame.run->runState != RUN_RUNNING) return StopStatus(frame);
    }
    bool broke = false;
    if (status == STATUS_CONTINUE) {
      status = STATUS_DONE;
    } else if (status == STATUS_BREAK) {
      status = STATUS_DONE;
      broke = true;
    } else if (status != STATUS_DONE) {
      return status & mode;
    }
    if (first && statement->flag) {
      DoWithoutWhile(frame, statement);
      return StopStatus(frame);
    }
    const bool running = !broke && frame.pendingGoto == nullptr;
    int truth = 0;
    if (!TestCondition(frame, statement->expr, running, truth)) return StopStatus(frame);
    if (!running || !truth) break;
  }
  return status & mode;
}

[[gnu::noinline]] std::uint16_t ForHeaderError(CallFrame& frame, const StmtNode* statement) {
  frame.run->position = statement->token;
  RaiseErrorIfRunning(*frame.run, MSG_1205);
  return StopStatus(frame);
}

// One pass's step: a plain one runs without the statement machinery.
inline std::uint16_t ForStep(CallFrame& frame, const StmtNode* step) {
  if (step->kind == ST_EXPRESSION && step->expr != nullptr && frame.pendingGoto == nullptr &&
      step->expr->quickRun(frame, step->expr)) {
    frame.run->position = step->token;
    return STATUS_DONE;
  }
  return RunStatement(frame, step, kStepMode);
}

[[gnu::noinline]] std::uint16_t For(CallFrame& frame, const StmtNode* statement, std::uint16_t mode) {
  const std::uint16_t bodyMode = mode | MODE_ONE | MODE_CONTINUE | MODE_BREAK;
  std::uint16_t status = RunStatement(frame, statement->init, mode | MODE_ONE);
  if (status != STATUS_DONE) return status & mode;
  if (statement->forError == 1) return ForHeaderError(frame, statement);
  for (;;) {
    int truth = 1;
    if (statement->test != nullptr) {
      const bool running = frame.pendingGoto == nullptr;
      if (!TestCondition(frame, statement->test, running, truth)) return StopStatus(frame);
      if (!running) truth = 1;  // searching: the test counts as true
    }
    if (statement->forError == 2) return ForHeaderError(frame, statement);
    if (!truth) break;
    if (!BeforeRunning(frame)) return StopStatus(frame);
    status = RunBranch(frame, statement->body, bodyMode);
    if (status == STATUS_BREAK) {
      status = STATUS_DONE;
      break;
    }
    if (status == STATUS_CONTINUE) status = STATUS_DONE;
    if (status != STATUS_DONE) break;
    if (statement->other != nullptr) {
      status = ForStep(frame, statement->other);
      if (status != STATUS_DONE) break;
    }
    if (frame.pendingGoto != nullptr) break;
  }
  const std::uint16_t final = STATUS_RETURN | STATUS_GOTO | STATUS_ERROR | STATUS_EXIT;
  if ((status & final) == 0 && statement->body != nullptr) {
    WalkStatement(frame, statement->body, bodyMode);
    if (frame.run->runState != RUN_RUNNING) return StopStatus(frame);
  }
  return status & mode;
}

// A case value is evaluated while nothing has matched yet; the first equal
// one starts execution, which falls through later cases until a break.
[[gnu::noinline]] std::uint16_t Switch(CallFrame& frame, const StmtNode* statement, std::uint16_t mode) {
  const bool running = frame.pendingGoto == nullptr;
  Operand value;
  if (!EvaluateOrWalk(frame, statement->expr, running, value)) return StopStatus(frame);
  Context& run = *frame.run;
  if (running && !value.IsDefined()) {
    run.position = statement->expr->token;
    RaiseUndefined(run, value.var());
    return StopStatus(frame);
  }
  const std::uint16_t innerMode = mode | MODE_ONE | MODE_BREAK;
  auto onCase = [&](const StmtNode* item, bool& matched) {
    const bool evaluate = !matched && frame.pendingGoto == nullptr;
    Operand caseValue;
    if (!EvaluateOrWalk(frame, item->expr, evaluate, caseValue)) return false;
    if (!evaluate) return true;
    if (!caseValue.IsDefined()) {
      run.position = item->expr->token;
      return RaiseUndefined(run, caseValue.var());
    }
    matched = CompareValues(value, caseValue) == 0;
    return true;
  };
  auto onStatement = [&](const StmtNode* item, bool runIt) { return RunOrWalk(frame, item, innerMode, runIt); };
  return SwitchBody(frame, statement, onCase, onStatement) & mode;
}

inline std::uint16_t ExpressionStatement(CallFrame& frame, const StmtNode* statement) {
  if (statement->expr == nullptr) return STATUS_NONE;
  const bool running = frame.pendingGoto == nullptr;
  if (running && statement->expr->quickRun(frame, statement->expr)) return STATUS_NONE;
  Operand discarded;
  if (!EvaluateOrWalk(frame, statement->expr, running, discarded)) return StopStatus(frame);
  return STATUS_NONE;
}

[[gnu::noinline]] std::uint16_t Dispatch(CallFrame& frame, const StmtNode* statement, std::uint16_t mode) {
  switch (statement->kind) {
    case ST_EXPRESSION: return ExpressionStatement(frame, statement);
    case ST_BLOCK: {
      std::uint16_t status = RunSequence(frame, statement, 0, mode & ~MODE_ONE);
      return status == STATUS_BLOCK_END ? std::uint16_t{STATUS_NONE} : status;
    }
    case ST_BLOCK_END: return STATUS_BLOCK_END;
    case ST_LABEL:
      PassLabel(frame, statement);
      return STATUS_NONE;
    case ST_BREAK: return LoopControl(frame, statement, mode, MODE_BREAK, STATUS_BREAK);
    case ST_CONTINUE: return LoopControl(frame, statement, mode, MODE_CONTINUE, STATUS_CONTINUE);
    case ST_GOTO: return Goto(frame, statement);
    case ST_RETURN: return Return(frame, statement);
    case ST_IF: return If(frame, statement, mode);
    case ST_WHILE: return While(frame, statement, mode);
    case ST_DO: return Do(frame, statement, mode);
    case ST_FOR: return For(frame, statement, mode);
    case ST_SWITCH: return Switch(frame, statement, mode);
    case ST_ERROR: return ReportErrorStatement(frame, statement);
    default:
      return STATUS_NONE;
  }
}

std::uint16_t RunStatement(CallFrame& frame, const StmtNode* statement, std::uint16_t mode) {
  // A break request (the user's, or abort's) stops the run before the next
  // statement, and so does a machine stack that nesting has nearly used up.
  if ((BreakRequested | PumpRequested) || platform::StackRemaining() < kStackGuard) {
    if (!Attend(frame)) return StopStatus(frame);
  }
  frame.run->position = statement->token;
  std::uint16_t status;
  // The commonest kinds are run from here, the rest through the full dispatch.
  switch (statement->kind) {
    case ST_EXPRESSION: status = ExpressionStatement(frame, statement); break;
    case ST_BLOCK:
      status = RunSequence(frame, statement, 0, mode & ~MODE_ONE);
      if (status == STATUS_BLOCK_END) status = STATUS_NONE;
      break;
    case ST_IF: status = If(frame, statement, mode); break;
    case ST_RETURN: status = Return(frame, statement); break;
    default: status = Dispatch(frame, statement, mode); break;
  }
  if (status != STATUS_NONE) return status;
  return (mode & MODE_ONE) ? STATUS_DONE : STATUS_NONE;
}

}  // namespace

// OPTIMIZATION: a plain expression statement runs here directly.
std::uint16_t RunBranch(CallFrame& frame, const StmtNode* statement, std::uint16_t mode) {
  if (BreakRequested | PumpRequested) return RunStatement(frame, statement, mode);
  if (statement->kind == ST_EXPRESSION && statement->expr != nullptr && frame.pendingGoto == nullptr) {
    frame.run->position = statement->token;
    if (statement->expr->quickRun(frame, statement->expr)) return STATUS_DONE;
  } else if (statement->kind == ST_BLOCK) {
    frame.run->position = statement->token;
    const std::uint16_t status = RunSequence(frame, statement, 0, mode & ~MODE_ONE);
    return status == STATUS_BLOCK_END ? std::uint16_t{STATUS_DONE} : status;
  }
  return RunStatement(frame, statement, mode);
}

// The checks before a function body and before every pass of a loop body:
// the machine stack, and a break request from the user (which every
// statement checks as well). Between them the engine only descends through
// the statements and expressions of one function, which the guard's reserve
// covers.
bool StopBeforeRunning(CallFrame& frame) {
  Context& run = *frame.run;
  // Without a break request the reason is the stack. (Measured again here
  // the stack could seem deep enough: a caller that stops by a tail call has
  // given its frame back first.)
  if (!BreakRequested || platform::StackRemaining() < kStackGuard) {
    return RaiseErrorAlways(run, MSG_8000);
  }
  BreakRequested = 0;
  run.host->WriteStandardOutput("\n^C\n");
  ExitRequest(run, 0);
  return false;
}

bool Attend(CallFrame& frame) {
  if (PumpRequested) {
    PumpRequested = 0;
    if (HostMessagePump != nullptr) HostMessagePump();
  }
  if (BreakRequested || platform::StackRemaining() < kStackGuard) return StopBeforeRunning(frame);
  return true;
}

std::uint16_t RunSequence(CallFrame& frame, const StmtNode* block, std::uint32_t start, std::uint16_t mode) {
  for (std::uint32_t i = start; i < block->count; ++i) {
    std::uint16_t status = RunStatement(frame, block->items[i], mode);
    if (status != STATUS_NONE) return status;
  }
  return STATUS_BLOCK_END;
}

}  // namespace kel
