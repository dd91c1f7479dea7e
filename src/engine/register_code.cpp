// Compiling the common forms of integer expressions to register code.

#include "engine/register_code.h"

#include <algorithm>

#include "engine/code.h"
#include "engine/token.h"

namespace kel {

static_assert(REG_BINARY_K == REG_BINARY + 1 && REG_ADD_K == REG_ADD + 1 && REG_GE_K == REG_GE + 1);

std::uint8_t RegisterCompiler::BinaryCode(std::uint16_t op, const ExprNode* constant) {
  std::uint8_t code;
  switch (op) {
    case TOK_ADD: code = REG_ADD; break;
    case TOK_SUB: code = REG_SUB; break;
    case TOK_MUL: code = REG_MUL; break;
    case TOK_EQ: code = REG_EQ; break;
    case TOK_NE: code = REG_NE; break;
    case TOK_LT: code = REG_LT; break;
    case TOK_LE: code = REG_LE; break;
    case TOK_GT: code = REG_GT; break;
    case TOK_GE: code = REG_GE; break;
    case TOK_DIV:
    case TOK_MOD:
      // Only a division by a constant other than 0 cannot fail.
      if (constant != nullptr && constant->number.intValue != 0) return op == TOK_DIV ? REG_DIV_K : REG_MOD_K;
      return constant != nullptr ? REG_BINARY_K : REG_BINARY;
    default: return constant != nullptr ? REG_BINARY_K : REG_BINARY;
  }
  return constant != nullptr ? static_cast<std::uint8_t>(code + 1) : code;
}

std::uint8_t RegisterCompiler::Register(std::uint32_t at) {
  if (at >= kMaxRegisters) fits_ = false;
  return static_cast<std::uint8_t>(at);
}

std::size_t RegisterCompiler::Emit(std::uint8_t code, std::uint32_t a, std::uint32_t b, std::uint32_t c,
                                   std::int32_t k, std::uint16_t op, const ExprNode* node) {
  ops.push_back(RegisterOp{code, Register(a), Register(b), Register(c), op, resume_, k, 0, node});
  return ops.size() - 1;
}

std::uint32_t RegisterCompiler::Temporary() {
  const std::uint32_t at = next_++;
  registers = std::max(registers, next_);
  return at;
}

bool RegisterCompiler::IsConstant(const ExprNode* node) {
  return node != nullptr && node->kind == EX_NUMBER && node->number.type == KEL_INT &&
         (node->flags & EXPR_WALK_INERT) != 0;
}

bool RegisterCompiler::Operand(const ExprNode* node, int depth, std::uint32_t& at) {
  if (node != nullptr && Held(node, at)) return true;
  at = Temporary();
  return Expression(node, depth, at);
}

bool RegisterCompiler::Expression(const ExprNode* node, int depth, std::uint32_t target) {
  if (node == nullptr || depth > kQuickHeight || !(node->flags & EXPR_WALK_INERT)) return false;
  ++depth;
  const std::uint32_t mark = next_;
  std::uint32_t at;
  bool ok = true;
  if (Held(node, at)) {
    Emit(REG_MOVE, target, at);
  } else {
    switch (node->kind) {
      case EX_NUMBER:
        if (node->number.type != KEL_INT) return false;
        Emit(REG_CONSTANT, target, 0, 0, node->number.intValue);
        break;
      case EX_BINARY: ok = Binary(node, depth, target); break;
      case EX_PREFIX:
        ok = IsIntegerPrefix(node->op) && Operand(node->left, depth, at);
        if (ok) Emit(REG_PREFIX, target, at, 0, 0, node->op);
        break;
      case EX_LOGICAL: ok = Logical(node, depth, target); break;
      case EX_CONDITIONAL: ok = Conditional(node, depth, target); break;
      default: ok = Other(node, depth, target); break;
    }
  }
  next_ = mark;
  return ok;
}

bool RegisterCompiler::Binary(const ExprNode* node, int depth, std::uint32_t target) {
  std::uint32_t left, right;
  if (!IsIntegerOperator(node->op) || !Operand(node->left, depth, left)) return false;
  if (IsConstant(node->right)) {
    Emit(BinaryCode(node->op, node->right), target, left, 0, node->right->number.intValue, node->op);
    return true;
  }
  if (!Operand(node->right, depth, right)) return false;
  Emit(BinaryCode(node->op, nullptr), target, left, right, 0, node->op);
  return true;
}

// && and ||: 0 or 1; the right operand runs only when the left does not decide.
bool RegisterCompiler::Logical(const ExprNode* node, int depth, std::uint32_t target) {
  std::uint32_t operand;
  if (!Operand(node->left, depth, operand)) return false;
  Emit(REG_TRUTH, target, operand);
  const std::size_t decided = Emit(node->op == TOK_ANDAND ? REG_JUMP_ZERO : REG_JUMP_NONZERO, 0, target);
  if (!Operand(node->right, depth, operand)) return false;
  Emit(REG_TRUTH, target, operand);
  Patch(decided);
  return true;
}

bool RegisterCompiler::Branch(const ExprNode* condition, int depth, bool when, std::size_t& at) {
  if (condition == nullptr) return false;
  const std::uint32_t mark = next_;
  std::uint32_t value, right;
  std::uint8_t code = REG_JUMP;
  if (condition->kind == EX_BINARY && (condition->flags & EXPR_WALK_INERT) && depth <= kQuickHeight) {
    // A comparison jumps by itself; "not a < b" is "a >= b" on integers.
    switch (condition->op) {
      case TOK_EQ: code = when ? REG_JUMP_EQ : REG_JUMP_NE; break;
      case TOK_NE: code = when ? REG_JUMP_NE : REG_JUMP_EQ; break;
      case TOK_LT: code = when ? REG_JUMP_LT : REG_JUMP_GE; break;
      case TOK_LE: code = when ? REG_JUMP_LE : REG_JUMP_GT; break;
      case TOK_GT: code = when ? REG_JUMP_GT : REG_JUMP_LE; break;
      case TOK_GE: code = when ? REG_JUMP_GE : REG_JUMP_LT; break;
      default: break;
    }
  }
  static_assert(REG_JUMP_EQ_K == REG_JUMP_EQ + 1 && REG_JUMP_GE_K == REG_JUMP_GE + 1);
  if (code != REG_JUMP) {
    if (!Operand(condition->left, depth + 1, value)) return false;
    if (IsConstant(condition->right)) {
      at = Emit(static_cast<std::uint8_t>(code + 1), 0, value, 0, condition->right->number.intValue);
    } else {
      if (!Operand(condition->right, depth + 1, right)) return false;
      at = Emit(code, 0, value, right);
    }
  } else {
    if (!Operand(condition, depth, value)) return false;
    at = Emit(when ? REG_JUMP_NONZERO : REG_JUMP_ZERO, 0, value);
  }
  next_ = mark;
  return true;
}

bool RegisterCompiler::If(const StmtNode* statement) {
  std::size_t test;
  if (!Branch(statement->expr, 0, false, test) || !Statement(statement->body)) return false;
  if (statement->other == nullptr) {
    Patch(test);
    return true;
  }
  const std::size_t over = Emit(REG_JUMP);
  Patch(test);
  if (!Statement(statement->other)) return false;
  Patch(over);
  return true;
}

bool RegisterCompiler::Conditional(const ExprNode* node, int depth, std::uint32_t target) {
  std::size_t test;
  if (!Branch(node->left, depth, false, test)) return false;
  if (!Expression(node->right, depth, target)) return false;
  const std::size_t over = Emit(REG_JUMP);
  Patch(test);
  if (!Expression(node->third, depth, target)) return false;
  Patch(over);
  return true;
}

}  // namespace kel
