#pragma once
// A call made from a call expression, shared by the general evaluator and
// its fast form.

#include <cstdint>

#include "engine/calls.h"
#include "engine/code.h"
#include "engine/context.h"

namespace kel {

// Calls [function] with [args] as the call [node], naming the call's line
// meanwhile.
inline bool CallAt(CallFrame& frame, const ExprNode* node, FunctionRecord* function, Var** args, Operand& out) {
  const Token* position = frame.run->position;
  // What the call itself reports (a built-in's checks) names the call's line,
  // where reading the program has got to.
  frame.run->position = node->token;
  const bool ok = CallFunction(*frame.run, &frame, function, args, static_cast<std::int32_t>(node->count), out);
  frame.run->position = position;  // errors after the call name the caller's line
  return ok;
}

// OPTIMIZATION: at most this many arguments are gathered without operands.
constexpr std::uint32_t kQuickArguments = 4;

}  // namespace kel
