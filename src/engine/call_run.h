#pragma once
// Running a call: the frame, the arguments counted as the callee's
// variables, the locals and the body. Inlined where calls are made (the
// quick call of a script function, and CallFunction itself), so that the
// frame and the locals live in the caller's own stack frame.

#include <cstdint>

#include "engine/calls.h"
#include "engine/code.h"
#include "engine/context.h"
#include "engine/flat_code.h"
#include "engine/functions.h"
#include "engine/statement_parts.h"
#include "platform/system.h"

namespace kel {

// Runs the function body [body] on the statement tree, and again from its
// start while a goto searches its label.
void RunBody(CallFrame& frame, const StmtNode* body);

// Raises 8000 for a function whose locals would not fit the stack; false.
bool TooManyLocals(CallFrame& frame);

// At most this many locals take less room than the stack guard keeps free.
constexpr std::uint32_t kLocalsInMargin = 64;
static_assert(sizeof(Var) * (kLocalsInMargin + 1) < kStackGuard / 8);

// Adds [delta] to the reference count of each of the [count] arguments
// [args]. OPTIMIZATION: the commonest counts without a loop.
[[gnu::always_inline]] inline void CountArguments(Var** args, std::int32_t count, int delta) {
  switch (count) {
    case 4: args[3]->flags = static_cast<std::uint16_t>(args[3]->flags + delta); [[fallthrough]];
    case 3: args[2]->flags = static_cast<std::uint16_t>(args[2]->flags + delta); [[fallthrough]];
    case 2: args[1]->flags = static_cast<std::uint16_t>(args[1]->flags + delta); [[fallthrough]];
    case 1: args[0]->flags = static_cast<std::uint16_t>(args[0]->flags + delta); [[fallthrough]];
    case 0: return;
    default:
      for (std::int32_t i = 0; i < count; ++i) args[i]->flags = static_cast<std::uint16_t>(args[i]->flags + delta);
  }
}

// Runs the script function of [frame] with its locals, which live in the
// stack frame this is inlined into: a call allocates nothing.
[[gnu::always_inline]] inline bool RunFunctionBody(CallFrame& frame) {
  FunctionRecord& function = *frame.function;
  if (!function.compiled && !PrepareFunction(*frame.run, function)) return false;
  const std::uint32_t localCount = function.nameCount - function.paramCount;
  // A function with tens of thousands of names (a bound program counts its
  // parameters among them) must not take its locals below the stack guard.
  // (A few locals fit in the margin the statements' own stack check keeps.)
  if (localCount > kLocalsInMargin && sizeof(Var) * localCount > platform::StackRemaining() / 2) {
    return TooManyLocals(frame);
  }
  Var* locals = nullptr;
  if (localCount != 0) {
    locals = static_cast<Var*>(__builtin_alloca(sizeof(Var) * localCount));
    for (std::uint32_t i = 0; i < localCount; ++i) locals[i] = Var{};
  }
  frame.locals = locals;
  frame.localCount = localCount;
  if (const FlatCode* flat = function.compiled->flat.get()) {
    if (BeforeRunning(frame)) RunFlat(frame, *flat);
  } else {
    RunBody(frame, function.compiled->body);
  }
  for (std::uint32_t i = 0; i < localCount; ++i) {
    if (locals[i].data != nullptr) ReleaseData(locals[i].data);
  }
  return frame.run->runState == RUN_RUNNING;
}

// CallFunction, inlined into its caller.
[[gnu::always_inline]] inline bool CallFunctionHere(Context& run, CallFrame* caller, FunctionRecord* function,
                                                    Var** args, std::int32_t argCount, Operand& result) {
  CallFrame frame;
  frame.run = &run;
  frame.caller = caller;
  frame.function = function;
  frame.args = args;
  frame.argCount = argCount;
  frame.serial = ++run.callSerial;
  frame.callSite = run.position;
  result.SetUndefined();
  frame.result = &result;
  // Parameters are variables of the callee for the duration of the call.
  CountArguments(args, argCount, 1);
  run.frame = &frame;
  if (function->kind == FUNCTION_SCRIPT) {
    HoldFunction(function);
    RunFunctionBody(frame);
    ReleaseFunction(function);
  } else {
    run.builtins.call(frame);
  }
  run.frame = caller;
  CountArguments(args, argCount, -1);
  return run.runState == RUN_RUNNING;
}

}  // namespace kel
