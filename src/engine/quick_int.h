#pragma once
// OPTIMIZATION: the commonest values of all, integers, computed by a routine
// chosen for each expression node when its function is parsed. The routine
// reads its operands straight from their variables and constants; it answers
// false (having changed nothing) whenever a value is not a plain integer or
// an operation would report an error, and the general path then evaluates.

#include <cstdint>

#include "engine/calls.h"
#include "engine/arithmetic.h"
#include "engine/code.h"
#include "front/token.h"

namespace kel {

// A plain integer variable (not an array, not an element view) and its value.
inline bool IntVariable(const Var* var, std::int32_t& out) {
  const VarData* data = var->data;
  if (data == nullptr || data->type != KEL_INT || data->dimension != 0 || (var->flags & VAR_ELEMENT)) return false;
  out = data->payload.intValue;
  return true;
}

// An operator on two integers; false where the general path must report.
template <std::uint16_t Op>
inline bool IntegerOperator(std::int32_t a, std::int32_t b, std::int32_t& out) {
  const auto ua = static_cast<std::uint32_t>(a), ub = static_cast<std::uint32_t>(b);
  switch (Op) {
    case TOK_ADD: out = static_cast<std::int32_t>(ua + ub); return true;
    case TOK_SUB: out = static_cast<std::int32_t>(ua - ub); return true;
    case TOK_MUL: out = static_cast<std::int32_t>(ua * ub); return true;
    case TOK_DIV: case TOK_MOD:
      if (b == 0) return false;
      out = IntegerArithmetic(Op, a, b);
      return true;
    case TOK_EQ: out = a == b; return true;
    case TOK_NE: out = a != b; return true;
    case TOK_LT: out = a < b; return true;
    case TOK_LE: out = a <= b; return true;
    case TOK_GT: out = a > b; return true;
    case TOK_GE: out = a >= b; return true;
    case TOK_BITAND: out = a & b; return true;
    case TOK_BITOR: out = a | b; return true;
    case TOK_BITXOR: out = a ^ b; return true;
    case TOK_SHL: out = static_cast<std::int32_t>(ua << (ub & 31)); return true;
    case TOK_SHR: out = static_cast<std::int32_t>(ua >> (ub & 31)); return true;
    default: return false;
  }
}

// The element local[index] of [node] when the local is a one-dimensional
// array of integers and the index an integer inside its span; else null.
inline std::int32_t* LocalIntElement(CallFrame& frame, const ExprNode* node) {
  const Var* array = &frame.locals[node->left->slot];
  VarData* data = array->data;
  if (data == nullptr || data->type != KEL_INT || data->dimension != 1 || (array->flags & VAR_ELEMENT) ||
      data->payload.elements == nullptr) {
    return nullptr;
  }
  std::int32_t index;
  if (!node->right->quickInt(frame, node->right, index)) return nullptr;
  const auto offset = static_cast<std::uint32_t>(array->index) + static_cast<std::uint32_t>(index) -
                      static_cast<std::uint32_t>(data->minIndex);
  if (offset >= data->elemCount) return nullptr;
  return static_cast<std::int32_t*>(data->payload.elements) + offset;
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
