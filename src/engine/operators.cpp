// Operators: the operand rules of the operator table, arithmetic by kind,
// array arithmetic, bitwise operators and shifts, and comparison.

#include "engine/operators.h"

#include "engine/arithmetic.h"
#include "engine/context.h"
#include "engine/evaluate.h"
#include "engine/messages.h"
#include "engine/operand.h"
#include "engine/token.h"

namespace kel {

namespace {

// One row of the operator table; a false field is a blank cell.
struct OperandRules {
  bool leftMayBeUndefined;
  bool leftMustBeLvalue;
  bool operandMustBeLvalue;  // the single operand of a prefix operator
  bool leftMayBeArray;
  bool rightMayBeArray;
  bool leftMayBeStructure;
  bool rightMayBeStructure;
  bool integersOnly;
};

OperandRules RulesOf(std::uint16_t code) {
  switch (code) {
    case TOK_ASSIGN: return {true, true, false, true, true, true, true, false};
    case TOK_MUL_ASSIGN: case TOK_DIV_ASSIGN: return {false, true, false, false, false, false, false, false};
    case TOK_ADD_ASSIGN: case TOK_SUB_ASSIGN: return {false, true, false, true, false, false, false, false};
    case TOK_MOD_ASSIGN: case TOK_AND_ASSIGN: case TOK_XOR_ASSIGN: case TOK_OR_ASSIGN:
    case TOK_SHL_ASSIGN: case TOK_SHR_ASSIGN:
      return {false, true, false, false, false, false, false, true};
    case TOK_EQ: case TOK_NE: return {false, false, false, true, true, true, true, false};
    case TOK_LT: case TOK_LE: case TOK_GT: case TOK_GE: case TOK_ADD: case TOK_SUB:
      return {false, false, false, true, true, false, false, false};
    case TOK_MOD: case TOK_BITOR: case TOK_BITXOR: case TOK_BITAND: case TOK_SHL: case TOK_SHR:
      return {false, false, false, false, false, false, false, true};
    case TOK_NOT: return {false, false, false, false, true, false, false, false};
    case TOK_INC: case TOK_DEC: return {false, false, true, false, true, false, false, false};
    default: return {false, false, false, false, false, false, false, false};
  }
}

bool IsStructureOperand(const Operand& operand) { return operand.ArrayDepth() == 0 && operand.Kind() == KEL_STRUCT; }
bool IsFloatScalar(const Operand& operand) { return operand.ArrayDepth() == 0 && operand.Kind() == KEL_FLOAT; }


}  // namespace

bool CheckOperands(Context& run, std::uint16_t code, const Operand* left, const Operand& right) {
  OperandRules rules = RulesOf(code);
  if (left != nullptr) {
    if (!left->IsDefined() && !rules.leftMayBeUndefined) return RaiseUndefined(run, left->var());
    if (rules.leftMustBeLvalue && !left->IsLvalue()) return RaiseError(run, MSG_1704);
    if (left->ArrayDepth() > 0 && !rules.leftMayBeArray) return RaiseError(run, MSG_1604);
    if (IsStructureOperand(*left) && !rules.leftMayBeStructure) return RaiseError(run, MSG_1605);
    if (rules.integersOnly && IsFloatScalar(*left)) return RaiseError(run, MSG_1612);
  }
  if (!right.IsDefined()) return RaiseUndefined(run, right.var());
  if (left == nullptr && rules.operandMustBeLvalue && !right.IsLvalue()) return RaiseError(run, MSG_1704);
  if (right.ArrayDepth() > 0 && !rules.rightMayBeArray) return RaiseError(run, MSG_1604);
  if (IsStructureOperand(right) && !rules.rightMayBeStructure) return RaiseError(run, MSG_1605);
  if (rules.integersOnly && IsFloatScalar(right)) return RaiseError(run, MSG_1612);
  return true;
}

std::uint16_t PlainOperator(std::uint16_t compound) {
  switch (compound) {
    case TOK_MUL_ASSIGN: return TOK_MUL;
    case TOK_DIV_ASSIGN: return TOK_DIV;
    case TOK_MOD_ASSIGN: return TOK_MOD;
    case TOK_ADD_ASSIGN: return TOK_ADD;
    case TOK_SUB_ASSIGN: return TOK_SUB;
    case TOK_AND_ASSIGN: return TOK_BITAND;
    case TOK_XOR_ASSIGN: return TOK_BITXOR;
    case TOK_OR_ASSIGN: return TOK_BITOR;
    case TOK_SHL_ASSIGN: return TOK_SHL;
    case TOK_SHR_ASSIGN: return TOK_SHR;
    default: return compound;
  }
}

// ===================================================================
// Arithmetic
// ===================================================================

namespace {

bool ScalarArithmetic(Context& run, std::uint16_t code, const Scalar& a, const Scalar& b, Operand& out) {
  if ((code == TOK_DIV || code == TOK_MOD) && IsZeroScalar(b)) {
    return RaiseError(run, MSG_1702);
  }
  out.SetScalar(Arithmetic(code, a, b));
  return true;
}

// array + n, n + array, array - n: the same storage seen from a moved origin.
bool ArrayArithmetic(Context& run, std::uint16_t code, const Operand& left, const Operand& right, Operand& out) {
  const bool leftArray = left.ArrayDepth() > 0, rightArray = right.ArrayDepth() > 0;
  if (leftArray && rightArray) {
    if (code == TOK_ADD) {
      return RaiseError(run, MSG_1701);
    }
    ArrayRef a = ResolveArray(left.var()), b = ResolveArray(right.var());
    if (a.data != b.data) {
      return RaiseError(run, MSG_1703);
    }
    out.SetScalar(MakeInt(static_cast<std::int32_t>(static_cast<std::uint32_t>(a.origin) -
                                                    static_cast<std::uint32_t>(b.origin))));
    return true;
  }
  const Operand& array = leftArray ? left : right;
  const Operand& number = leftArray ? right : left;
  std::int32_t move = ScalarToInt(number.Value());
  if (code == TOK_SUB) move = static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(move));
  ArrayRef base = ResolveArray(array.var());
  std::int32_t origin = static_cast<std::int32_t>(static_cast<std::uint32_t>(base.origin) + static_cast<std::uint32_t>(move));
  if (base.data->payload.elements != nullptr) ElementPointer(base.data, origin);
  out.SetOwned(NewVarOn(base.data, origin, 0));
  return true;
}

}  // namespace

bool ApplyBinary(Context& run, std::uint16_t code, const Operand& left, const Operand& right, Operand& out) {
  switch (code) {
    case TOK_ADD:
    case TOK_SUB:
      if (left.ArrayDepth() > 0 || right.ArrayDepth() > 0) return ArrayArithmetic(run, code, left, right, out);
      [[fallthrough]];
    case TOK_MUL:
    case TOK_DIV:
    case TOK_MOD:
      return ScalarArithmetic(run, code, left.Value(), right.Value(), out);
    case TOK_BITAND:
    case TOK_BITOR:
    case TOK_BITXOR:
    case TOK_SHL:
    case TOK_SHR:
      out.SetScalar(Bitwise(code, left.Value(), right.Value()));
      return true;
    default: {
      int order = CompareValues(left, right);
      bool result;
      switch (code) {
        case TOK_EQ: result = order == 0; break;
        case TOK_NE: result = order != 0; break;
        case TOK_LT: result = order < 0; break;
        case TOK_LE: result = order <= 0; break;
        case TOK_GT: result = order > 0; break;
        default: result = order >= 0; break;
      }
      out.SetScalar(MakeInt(result ? 1 : 0));
      return true;
    }
  }
}

bool ApplyPrefix(Context& run, std::uint16_t code, const Operand& operand, Operand& out) {
  if (code == TOK_NOT) {
    int truth = operand.var() != nullptr ? TruthValue(run, operand.var())
                                         : (IsZeroScalar(operand.scalar()) ? 0 : 1);
    if (truth < 0) return false;
    out.SetScalar(MakeInt(truth ? 0 : 1));
    return true;
  }
  Scalar value = operand.Value();
  switch (code) {
    case TOK_PLUS:
      out.SetScalar(value);
      return true;
    case TOK_NEG:
      if (value.type == KEL_FLOAT) value.floatValue = -value.floatValue;
      else if (value.type == KEL_INT) value.intValue = static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(value.intValue));
      else value.byteValue = static_cast<std::uint8_t>(-value.byteValue);
      out.SetScalar(value);
      return true;
    default: {  // "~" complements the 32-bit integer and keeps the operand's kind
      std::int32_t complement = ~ScalarToInt(value);
      if (value.type == KEL_FLOAT) out.SetScalar(MakeFloat(complement));
      else if (value.type == KEL_BYTE) out.SetScalar(MakeByte(static_cast<std::uint8_t>(complement)));
      else out.SetScalar(MakeInt(complement));
      return true;
    }
  }
}

// ===================================================================
// Comparison
// ===================================================================

namespace {

bool HasStorage(Var* var) { return ResolveArray(var).data->payload.elements != nullptr; }

int CompareArrays(Var* left, Var* right) {
  ArrayRef a = ResolveArray(left), b = ResolveArray(right);
  if ((left->literal || right->literal) && a.data->isString && b.data->isString && a.data->dimension == 1 &&
      b.data->dimension == 1) {
    // Text against a literal compares by content.
    const auto* x = static_cast<const std::uint8_t*>(ElementPointer(a.data, a.origin));
    std::int64_t xLeft = static_cast<std::int64_t>(a.data->minIndex) + a.data->elemCount - a.origin;
    const auto* y = static_cast<const std::uint8_t*>(ElementPointer(b.data, b.origin));
    std::int64_t yLeft = static_cast<std::int64_t>(b.data->minIndex) + b.data->elemCount - b.origin;
    for (std::int64_t i = 0;; ++i) {
      int cx = i < xLeft ? x[i] : 0, cy = i < yLeft ? y[i] : 0;
      if (cx != cy) return cx - cy;
      if (cx == 0) return 0;
    }
  }
  if (a.data == b.data) return a.origin - b.origin;
  return StorageIdentity(a.data) < StorageIdentity(b.data) ? -1 : 1;
}

int CompareStructures(Context* run, Var* left, Var* right);

int CompareVars(Var* left, Var* right) {
  int leftDepth = Arrayness(left), rightDepth = Arrayness(right);
  if (leftDepth != rightDepth) {
    Var* scalar = leftDepth == 0 ? left : right;
    Var* array = leftDepth == 0 ? right : left;
    if (IsNumericScalar(scalar) && GetInt(scalar) == 0) {
      int order = HasStorage(array) ? 1 : 0;
      return array == left ? order : -order;
    }
    return leftDepth - rightDepth;
  }
  if (leftDepth > 0) return CompareArrays(left, right);
  if (IsNumericScalar(left) && IsNumericScalar(right)) return CompareNumbers(GetScalar(left), GetScalar(right));
  if (left->data->type != right->data->type) return 1;
  if (left->data->type == KEL_UNKNOWN) return 0;
  return CompareStructures(nullptr, left, right);
}

int CountDefined(const MemberList* list) {
  int count = 0;
  for (const MemberNode* node = list->head; node != nullptr; node = node->next) count += IsDefined(node->var) ? 1 : 0;
  return count;
}

int CompareStructures(Context*, Var* left, Var* right) {
  MemberList* a = MembersOf(left);
  MemberList* b = MembersOf(right);
  if (a == b) return 0;
  int difference = CountDefined(a) - CountDefined(b);
  if (difference != 0) return difference;
  for (MemberNode* node = a->head; node != nullptr; node = node->next) {
    if (!IsDefined(node->var)) continue;
    Var* other = FindMember(right, node->name, false);
    if (other == nullptr) return 1;
    int order = CompareVars(node->var, other);
    if (order != 0) return order;
  }
  return 0;
}

}  // namespace

int CompareValues(const Operand& left, const Operand& right) {
  if (left.IsNumber() && right.IsNumber()) return CompareNumbers(left.Value(), right.Value());
  if (left.var() == nullptr && right.var() == nullptr) return left.Kind() == right.Kind() ? 0 : 1;
  // A scalar temporary against a variable: compare through a temporary Var.
  Operand leftCopy, rightCopy;
  Var* a = left.var();
  Var* b = right.var();
  if (a == nullptr) {
    leftCopy.SetScalar(left.scalar());
    a = leftCopy.Materialize();
  }
  if (b == nullptr) {
    rightCopy.SetScalar(right.scalar());
    b = rightCopy.Materialize();
  }
  return CompareVars(a, b);
}

}  // namespace kel
