#pragma once
// OPTIMIZATION: the commonest values of all, integers, computed by a routine
// chosen for each expression node when its function is parsed. The routine
// reads its operands straight from their variables and constants; it answers
// false (having changed nothing) whenever a value is not a plain integer or
// an operation would report an error, and the general path then evaluates.

#include <cstdint>

#include "engine/arithmetic.h"
#include "engine/calls.h"
#include "engine/code.h"
#include "engine/token.h"

namespace kel {

// An operator on two integers; false where the general path must report.
template <std::uint16_t Op>
inline bool IntegerOperator(std::int32_t a, std::int32_t b, std::int32_t& out) {
  switch (Op) {
    case TOK_DIV: case TOK_MOD:
      if (b == 0) return false;
      [[fallthrough]];
    case TOK_ADD: case TOK_SUB: case TOK_MUL:
      out = IntegerArithmetic(Op, a, b);
      return true;
    case TOK_EQ: out = a == b; return true;
    case TOK_NE: out = a != b; return true;
    case TOK_LT: out = a < b; return true;
    case TOK_LE: out = a <= b; return true;
    case TOK_GT: out = a > b; return true;
    case TOK_GE: out = a >= b; return true;
    case TOK_BITAND: case TOK_BITOR: case TOK_BITXOR: case TOK_SHL: case TOK_SHR:
      out = static_cast<std::int32_t>(IntegerBitwise(Op, static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b)));
      return true;
    default: return false;
  }
}

// IntegerOperator for an operator known only when running.
inline bool IntegerBinary(std::uint16_t op, std::int32_t a, std::int32_t b, std::int32_t& out) {
  switch (op) {
    case TOK_ADD: return IntegerOperator<TOK_ADD>(a, b, out);
    case TOK_SUB: return IntegerOperator<TOK_SUB>(a, b, out);
    case TOK_MUL: return IntegerOperator<TOK_MUL>(a, b, out);
    case TOK_DIV: return IntegerOperator<TOK_DIV>(a, b, out);
    case TOK_MOD: return IntegerOperator<TOK_MOD>(a, b, out);
    case TOK_EQ: return IntegerOperator<TOK_EQ>(a, b, out);
    case TOK_NE: return IntegerOperator<TOK_NE>(a, b, out);
    case TOK_LT: return IntegerOperator<TOK_LT>(a, b, out);
    case TOK_LE: return IntegerOperator<TOK_LE>(a, b, out);
    case TOK_GT: return IntegerOperator<TOK_GT>(a, b, out);
    case TOK_GE: return IntegerOperator<TOK_GE>(a, b, out);
    case TOK_BITAND: return IntegerOperator<TOK_BITAND>(a, b, out);
    case TOK_BITOR: return IntegerOperator<TOK_BITOR>(a, b, out);
    case TOK_BITXOR: return IntegerOperator<TOK_BITXOR>(a, b, out);
    case TOK_SHL: return IntegerOperator<TOK_SHL>(a, b, out);
    case TOK_SHR: return IntegerOperator<TOK_SHR>(a, b, out);
    default: return false;
  }
}

// Whether IntegerBinary computes [op].
inline bool IsIntegerOperator(std::uint16_t op) {
  std::int32_t ignored;
  return IntegerBinary(op, 0, 1, ignored);
}

// Whether a prefix operator [op] works on an integer without changing it.
inline bool IsIntegerPrefix(std::uint16_t op) {
  return op == TOK_NOT || op == TOK_NEG || op == TOK_PLUS || op == TOK_COMPL;
}

// The prefix operator [op] (one IsIntegerPrefix accepts) on the integer [a].
inline std::int32_t IntegerPrefix(std::uint16_t op, std::int32_t a) {
  switch (op) {
    case TOK_NOT: return a == 0;
    case TOK_NEG: return static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(a));
    case TOK_PLUS: return a;
    default: return ~a;
  }
}

// An index's integer value: a local read here, anything else by its routine.
inline bool IndexInt(CallFrame& frame, const ExprNode* index, std::int32_t& out) {
  if (index->kind == EX_LOCAL) return IntVariable(&frame.locals[index->slot], out);
  return index->quickInt(frame, index, out);
}

// The slot of the integer element [index] of the one-dimensional integer
// array [data] seen from [origin], when it is inside the span; else null.
inline std::int32_t* IntegerSlotAt(VarData* data, std::int32_t origin, std::int32_t index) {
  if (data == nullptr || data->type != KEL_INT || data->dimension != 1 || data->payload.elements == nullptr) {
    return nullptr;
  }
  const auto offset =
      static_cast<std::uint32_t>(origin) + static_cast<std::uint32_t>(index) - static_cast<std::uint32_t>(data->minIndex);
  if (offset >= data->elemCount) return nullptr;
  return static_cast<std::int32_t*>(data->payload.elements) + offset;
}

// The row [row] of the two-dimensional local array [array], when the row is
// made already; else null.
inline const RowSlot* LocalRow(const Var* array, std::int32_t row) {
  const VarData* outer = array->data;
  if (outer == nullptr || outer->dimension != 2 || (array->flags & VAR_ELEMENT) || outer->payload.elements == nullptr) {
    return nullptr;
  }
  const auto offset = static_cast<std::uint32_t>(array->index) + static_cast<std::uint32_t>(row) -
                      static_cast<std::uint32_t>(outer->minIndex);
  if (offset >= outer->elemCount) return nullptr;
  const RowSlot* slot = static_cast<const RowSlot*>(outer->payload.elements) + offset;
  return slot->row != nullptr ? slot : nullptr;  // (a row not made yet is made on the general path)
}

// How many indexes [node] applies to a local: 1 for local[i], 2 for
// local[i][j], the shapes LocalIntElement reads; else 0.
inline int LocalElementDepth(const ExprNode* node) {
  if (node->kind != EX_INDEX) return 0;
  if (node->left->kind == EX_LOCAL) return 1;
  return node->left->kind == EX_INDEX && node->left->left->kind == EX_LOCAL ? 2 : 0;
}

// The integer element [index] of the one-dimensional local array in [slot],
// inside its span; else null. [data] receives the array that holds it.
inline std::int32_t* LocalIntAt(CallFrame& frame, std::int32_t slot, std::int32_t index, VarData*& data) {
  const Var* array = &frame.locals[slot];
  if (array->flags & VAR_ELEMENT) return nullptr;
  data = array->data;
  return IntegerSlotAt(data, array->index, index);
}

// The integer element [row][column] of the two-dimensional local array in
// [slot], inside its spans; else null.
inline std::int32_t* LocalIntAt(CallFrame& frame, std::int32_t slot, std::int32_t row, std::int32_t column,
                                VarData*& data) {
  const RowSlot* made = LocalRow(&frame.locals[slot], row);
  if (made == nullptr) return nullptr;
  data = made->row;
  return IntegerSlotAt(data, made->origin, column);
}

// The integer element local[i] ([Depth] 1) or local[i][j] ([Depth] 2) that
// [node] denotes, inside its array's spans; else null. [data] receives the
// array that holds it. The depth is the node's, chosen when it was parsed.
template <int Depth>
[[gnu::always_inline]] inline std::int32_t* LocalIntElement(CallFrame& frame, const ExprNode* node, VarData*& data) {
  std::int32_t column;
  if constexpr (Depth == 1) {
    if (!IndexInt(frame, node->right, column)) return nullptr;
    return LocalIntAt(frame, node->left->slot, column, data);
  } else {
    std::int32_t row;
    if (!IndexInt(frame, node->left->right, row) || !IndexInt(frame, node->right, column)) return nullptr;
    return LocalIntAt(frame, node->left->left->slot, row, column, data);
  }
}

// The member local.name that [node] denotes, when the local is a structure
// and the node's cache still holds the member; else null.
inline Var* LocalMember(CallFrame& frame, const ExprNode* node) {
  const Var* local = &frame.locals[node->left->slot];
  const VarData* data = local->data;
  if (data == nullptr || data->type != KEL_STRUCT || data->dimension != 0 || (local->flags & VAR_ELEMENT)) {
    return nullptr;
  }
  const MemberList* list = data->payload.members;
  if (list == nullptr || node->cachedList != list || node->cachedStamp != list->stamp) return nullptr;
  return node->cachedMember->var;
}

inline bool IsLocalMember(const ExprNode* node) {
  return node->kind == EX_MEMBER && node->name != nullptr && node->left->kind == EX_LOCAL;
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
