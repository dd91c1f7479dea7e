// The fast forms of the general evaluator's steps: the evaluator tries them
// first in a build with fast paths, and each answers false, having changed
// nothing, where the general step must run. They share the quick readers and
// writers of quick.cpp and the arithmetic of arithmetic.h with the rest.

#include "base/fast_paths.h"
#include "engine/arithmetic.h"
#include "engine/context.h"
#include "engine/evaluate.h"
#include "engine/operators.h"
#include "engine/quick.h"
#include "engine/quick_int.h"

namespace kel {

namespace {

inline bool IsStep(const ExprNode* node) {
  return (node->op == TOK_INC || node->op == TOK_DEC) && node->left->kind <= EX_PARAMETER;
}

inline bool Discarded(const ExprNode* node) { return (node->flags & EXPR_DISCARDED) != 0; }

// "=" into a plain target found without evaluating it: the value is written
// in place when it is a number, and stored as the general path stores it
// otherwise.
bool AssignTarget(CallFrame& frame, const ExprNode* node, Var* target, Operand& out) {
  const bool pure = (node->right->flags & EXPR_PURE) != 0;
  // A member target is held: the enclosing expression may take its structure away.
  const bool member = node->left->kind == EX_MEMBER;
  auto refer = [target, member](Operand& operand) {
    if (member) {
      operand.SetHeld(target);
    } else {
      operand.SetBorrowed(target);
    }
  };
  Scalar value;
  if (pure && AssignInt(frame, target, node->right)) {
    if (!Discarded(node)) refer(out);
    return true;
  }
  if (pure && AssignNumber(frame, target, node->right)) {
    refer(out);
    return true;
  }
  Operand right;
  if (!EvaluateOperand(frame, node->right, right)) return false;
  if (right.NumberValue(value) && WriteNumber(target, value)) {
    refer(out);
    return true;
  }
  Operand left;
  refer(left);
  frame.run->position = node->token;
  if (!CheckOperands(*frame.run, TOK_ASSIGN, &left, right)) return false;
  if (!Store(frame, target, right)) return false;
  out = std::move(left);
  return true;
}

}  // namespace

bool QuickPure(CallFrame& frame, const ExprNode* node, Operand& out) {
  Scalar value;
  if (!(node->flags & EXPR_PURE) || !QuickValue(frame, node, value)) return false;
  out.SetScalar(value);
  return true;
}

bool QuickPrefix(CallFrame& frame, const ExprNode* node, Operand& out) {
  if (IsStep(node) && QuickIntegerStep(frame, node, out)) return true;
  if (QuickPure(frame, node, out)) return true;
  Scalar value;
  if (node->op != TOK_NOT || !QuickNumber(frame, node->left, value)) return false;
  out.SetScalar(MakeInt(IsZeroScalar(value) ? 1 : 0));
  return true;
}

bool QuickPostfix(CallFrame& frame, const ExprNode* node, Operand& out) {
  return IsStep(node) && QuickIntegerStep(frame, node, out);
}

bool QuickCompound(CallFrame& frame, const ExprNode* node, Operand& out) {
  if (!(node->right->flags & EXPR_PURE)) return false;
  return (node->left->kind <= EX_PARAMETER && QuickIntegerCompound(frame, node, out)) ||
         QuickNumberCompound(frame, node, out);
}

bool QuickAssign(CallFrame& frame, const ExprNode* node, Operand& out, bool& assigned) {
  const bool pure = (node->right->flags & EXPR_PURE) != 0;
  if (node->left->kind == EX_INDEX) {
    QuickSlot slot;
    if (!pure || !AssignElement(frame, node, slot)) return false;
    if (!Discarded(node)) out.SetOwned(NewVarOn(slot.data, slot.index, VAR_ELEMENT));
    return assigned = true;
  }
  // A member is created by finding it; that may happen first only when
  // nothing the value does can see the difference.
  Var* target = node->left->kind != EX_MEMBER || pure ? QuickTarget(frame, node->left) : nullptr;
  if (target == nullptr) return false;
  assigned = AssignTarget(frame, node, target, out);
  return true;
}

}  // namespace kel
