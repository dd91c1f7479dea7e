#pragma once
// A call made from a call expression, shared by the general evaluator and
// its fast form.

#include <cstdint>

#include "engine/call_run.h"
#include "engine/calls.h"
#include "engine/code.h"
#include "engine/context.h"

namespace kel {

// Calls [function] with [args] as the call [node], naming the call's line
// meanwhile. [Here]: the call is made inlined (see engine/call_run.h).
template <bool Here = false>
inline bool CallAt(CallFrame& frame, const ExprNode* node, FunctionRecord* function, Var** args, Operand& out) {
  const Token* position = frame.run->position;
  // What the call itself reports (a built-in's checks) names the call's line,
  // where reading the program has got to.
  frame.run->position = node->token;
  const auto count = static_cast<std::int32_t>(node->count);
  bool ok;
  if constexpr (Here) {
    ok = CallFunctionHere(*frame.run, &frame, function, args, count, out);
  } else {
    ok = CallFunction(*frame.run, &frame, function, args, count, out);
  }
  frame.run->position = position;  // errors after the call name the caller's line
  return ok;
}

// OPTIMIZATION: at most this many arguments are gathered without operands.
constexpr std::uint32_t kQuickArguments = 4;

// The forms of argument a call hands over without an operand, chosen for
// each argument node when its function is parsed (ChooseArgumentForm); what
// a form needs that only the run can tell is checked as the call is made.
enum ArgumentForm : std::uint8_t {
  ARGUMENT_GENERAL,    // evaluated into an operand
  ARGUMENT_LOCAL,      // a local, by reference
  ARGUMENT_PARAMETER,  // a parameter passed to the function, by reference
  ARGUMENT_VARIABLE,   // a global or environment variable that is an Lvalue, by reference
  ARGUMENT_LITERAL,    // a literal, to a built-in that only reads it
  ARGUMENT_INTEGER,    // a pure expression, when it gives an integer
  ARGUMENT_ELEMENT,    // local[i] with a pure index, to a built-in
  ARGUMENT_MEMBER,     // local.name found before, by reference
};

// Gives the argument [node] its form.
void ChooseArgumentForm(ExprNode* node);

}  // namespace kel
