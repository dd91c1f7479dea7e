// The integer routines of expression nodes: leaves, and binary and prefix
// operators specialised by operator and by the shape of their operands, so
// that "i < n", "i % 3" or "(s + i) % m" cost one call per operator.

#include "engine/quick_int.h"


namespace kel {

namespace {

bool ConstantInt(CallFrame&, const ExprNode* node, std::int32_t& out) {
  out = node->number.intValue;
  return true;
}

bool LocalInt(CallFrame& frame, const ExprNode* node, std::int32_t& out) {
  return IntVariable(&frame.locals[node->slot], out);
}

bool ParameterInt(CallFrame& frame, const ExprNode* node, std::int32_t& out) {
  return node->slot < frame.argCount && IntVariable(frame.args[node->slot], out);
}

bool VariableInt(CallFrame&, const ExprNode* node, std::int32_t& out) { return IntVariable(node->var, out); }

// Operand shapes: any node, a local, a constant.
struct AnyOperand {
  static bool Read(CallFrame& frame, const ExprNode* node, std::int32_t& out) { return QuickInt(frame, node, out); }
};
struct LocalOperand {
  static bool Read(CallFrame& frame, const ExprNode* node, std::int32_t& out) {
    return IntVariable(&frame.locals[node->slot], out);
  }
};
struct ParameterOperand {
  static bool Read(CallFrame& frame, const ExprNode* node, std::int32_t& out) {
    return node->slot < frame.argCount && IntVariable(frame.args[node->slot], out);
  }
};
template <int Depth>
struct ElementOperand {  // local[i] or local[i][j]
  [[gnu::always_inline]] static bool Read(CallFrame& frame, const ExprNode* node, std::int32_t& out) {
    VarData* data;
    const std::int32_t* at = LocalIntElement<Depth>(frame, node, data);
    if (at == nullptr) return QuickIntOfPlace(frame, node, out);
    out = *at;
    return true;
  }
};
struct ConstantOperand {
  static bool Read(CallFrame&, const ExprNode* node, std::int32_t& out) {
    out = node->number.intValue;
    return true;
  }
};

template <std::uint16_t Op, typename Left, typename Right>
bool BinaryInt(CallFrame& frame, const ExprNode* node, std::int32_t& out) {
  std::int32_t a, b;
  return Left::Read(frame, node->left, a) && Right::Read(frame, node->right, b) && IntegerOperator<Op>(a, b, out);
}

using QuickIntFn = bool (*)(CallFrame&, const ExprNode*, std::int32_t&);

enum Shape { SHAPE_ANY, SHAPE_LOCAL, SHAPE_PARAMETER, SHAPE_CONSTANT, SHAPE_ELEMENT1, SHAPE_ELEMENT2 };

Shape ShapeOf(const ExprNode* node) {
  if (node->kind == EX_LOCAL) return SHAPE_LOCAL;
  if (node->kind == EX_PARAMETER) return SHAPE_PARAMETER;
  switch (LocalElementDepth(node)) {
    case 1: return SHAPE_ELEMENT1;
    case 2: return SHAPE_ELEMENT2;
    default: break;
  }
  if (node->kind == EX_NUMBER && node->number.type == KEL_INT) return SHAPE_CONSTANT;
  return SHAPE_ANY;
}

template <std::uint16_t Op>
QuickIntFn BinaryFor(Shape left, Shape right) {
  if (left == SHAPE_ELEMENT1 && right == SHAPE_ELEMENT1) return BinaryInt<Op, ElementOperand<1>, ElementOperand<1>>;
  if (left == SHAPE_ELEMENT2 && right == SHAPE_ELEMENT2) return BinaryInt<Op, ElementOperand<2>, ElementOperand<2>>;
  if (left == SHAPE_LOCAL && right == SHAPE_CONSTANT) return BinaryInt<Op, LocalOperand, ConstantOperand>;
  if (left == SHAPE_LOCAL && right == SHAPE_LOCAL) return BinaryInt<Op, LocalOperand, LocalOperand>;
  if (left == SHAPE_LOCAL) return BinaryInt<Op, LocalOperand, AnyOperand>;
  if (left == SHAPE_PARAMETER && right == SHAPE_CONSTANT) return BinaryInt<Op, ParameterOperand, ConstantOperand>;
  if (left == SHAPE_PARAMETER && right == SHAPE_PARAMETER) return BinaryInt<Op, ParameterOperand, ParameterOperand>;
  if (right == SHAPE_CONSTANT) return BinaryInt<Op, AnyOperand, ConstantOperand>;
  if (right == SHAPE_LOCAL) return BinaryInt<Op, AnyOperand, LocalOperand>;
  return BinaryInt<Op, AnyOperand, AnyOperand>;
}

QuickIntFn ChooseBinary(const ExprNode* node) {
  // An operand that is never an integer this way (a float constant, a
  // string) leaves none to the whole: a float expression is not first
  // tried as an integer each time it runs.
  if (node->left->quickInt == NoQuickInt || node->right->quickInt == NoQuickInt) return NoQuickInt;
  const Shape left = ShapeOf(node->left), right = ShapeOf(node->right);
  switch (node->op) {
    case TOK_ADD: return BinaryFor<TOK_ADD>(left, right);
    case TOK_SUB: return BinaryFor<TOK_SUB>(left, right);
    case TOK_MUL: return BinaryFor<TOK_MUL>(left, right);
    case TOK_DIV: return BinaryFor<TOK_DIV>(left, right);
    case TOK_MOD: return BinaryFor<TOK_MOD>(left, right);
    case TOK_EQ: return BinaryFor<TOK_EQ>(left, right);
    case TOK_NE: return BinaryFor<TOK_NE>(left, right);
    case TOK_LT: return BinaryFor<TOK_LT>(left, right);
    case TOK_LE: return BinaryFor<TOK_LE>(left, right);
    case TOK_GT: return BinaryFor<TOK_GT>(left, right);
    case TOK_GE: return BinaryFor<TOK_GE>(left, right);
    case TOK_BITAND: return BinaryFor<TOK_BITAND>(left, right);
    case TOK_BITOR: return BinaryFor<TOK_BITOR>(left, right);
    case TOK_BITXOR: return BinaryFor<TOK_BITXOR>(left, right);
    case TOK_SHL: return BinaryFor<TOK_SHL>(left, right);
    case TOK_SHR: return BinaryFor<TOK_SHR>(left, right);
    default: return NoQuickInt;
  }
}

// local[i] and local[i][j] ([Depth] indexes) for local arrays of integers.
template <int Depth>
bool LocalElementInt(CallFrame& frame, const ExprNode* node, std::int32_t& out) {
  VarData* data;
  const std::int32_t* at = LocalIntElement<Depth>(frame, node, data);
  if (at == nullptr) return QuickIntOfPlace(frame, node, out);
  out = *at;
  return true;
}

// local.name, through the node's member cache.
bool LocalMemberInt(CallFrame& frame, const ExprNode* node, std::int32_t& out) {
  const Var* member = LocalMember(frame, node);
  if (member == nullptr) return QuickIntOfPlace(frame, node, out);
  return IntVariable(member, out);
}

bool PrefixInt(CallFrame& frame, const ExprNode* node, std::int32_t& out) {
  std::int32_t a;
  if (!QuickInt(frame, node->left, a)) return false;
  out = IntegerPrefix(node->op, a);
  return true;
}

}  // namespace

bool NoQuickInt(CallFrame&, const ExprNode*, std::int32_t&) { return false; }

void ChooseQuickInt(ExprNode* node) {
  switch (node->kind) {
    case EX_NUMBER: node->quickInt = node->number.type == KEL_INT ? ConstantInt : NoQuickInt; break;
    case EX_LOCAL: node->quickInt = LocalInt; break;
    case EX_PARAMETER: node->quickInt = ParameterInt; break;
    case EX_VARIABLE: node->quickInt = VariableInt; break;
    case EX_MEMBER: node->quickInt = IsLocalMember(node) ? LocalMemberInt : QuickIntOfPlace; break;
    case EX_INDEX:
      switch (LocalElementDepth(node)) {
        case 1: node->quickInt = LocalElementInt<1>; break;
        case 2: node->quickInt = LocalElementInt<2>; break;
        default: node->quickInt = QuickIntOfPlace; break;
      }
      break;
    case EX_BINARY: node->quickInt = ChooseBinary(node); break;
    case EX_PREFIX: node->quickInt = IsIntegerPrefix(node->op) ? PrefixInt : NoQuickInt; break;
    default: node->quickInt = NoQuickInt; break;
  }
}

}  // namespace kel
