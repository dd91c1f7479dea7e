#pragma once
// OPTIMIZATION: the commonest values of all, integers, computed by a routine
// chosen for each expression node when its function is parsed. The routine
// reads its operands straight from their variables and constants; it answers
// false (having changed nothing) whenever a value is not a plain integer or
// an operation would report an error, and the general path then evaluates.

#include <cstdint>

#include "engine/calls.h"
#include "engine/code.h"

namespace kel {

// A plain integer variable (not an array, not an element view) and its value.
inline bool IntVariable(const Var* var, std::int32_t& out) {
  const VarData* data = var->data;
  if (data == nullptr || data->type != KEL_INT || data->dimension != 0 || (var->flags & VAR_ELEMENT)) return false;
  out = data->payload.intValue;
  return true;
}

// The integer value of [node], when it is one and can be had without effects.
inline bool QuickInt(CallFrame& frame, const ExprNode* node, std::int32_t& out) {
  return node->quickInt(frame, node, out);
}

// Members and elements, which the evaluator reads through its caches.
bool QuickIntOfPlace(CallFrame& frame, const ExprNode* node, std::int32_t& out);

// Gives [node] its routine; its operands must have theirs already.
void ChooseQuickInt(ExprNode* node);

// The routine of nodes that never give an integer this way.
bool NoQuickInt(CallFrame& frame, const ExprNode* node, std::int32_t& out);

}  // namespace kel
