// The engine's fast paths: operands that can be read without side effects
// (literals, variables, and elements already inside their arrays' spans) are
// read directly, so that the common arithmetic never builds an operand.
// Every routine answers false, having changed nothing, where the general path
// must evaluate instead, which behaves the same.

#include "engine/quick.h"

#include <cstring>

#include "engine/arithmetic.h"
#include "engine/call_site.h"
#include "engine/operators.h"
#include "engine/quick_int.h"
#include "engine/token.h"

namespace kel {

// The variable a plain name denotes, when it exists already.
Var* QuickVariable(CallFrame& frame, const ExprNode* node) {
  switch (node->kind) {
    case EX_LOCAL: {
      Var* local = &frame.locals[node->slot];
      return local->data != nullptr ? local : nullptr;
    }
    case EX_PARAMETER: return node->slot < frame.argCount ? frame.args[node->slot] : nullptr;
    case EX_VARIABLE: return node->var;
    default: return nullptr;
  }
}

namespace {

// An index as the general path takes it: any number, truncated.
bool QuickIndex(CallFrame& frame, const ExprNode* node, std::int32_t& out) {
  if (QuickInt(frame, node, out)) return true;
  Scalar index;
  if (!QuickNumber(frame, node, index)) return false;
  out = ScalarToInt(index);
  return true;
}

}  // namespace

bool QuickElement(CallFrame& frame, const ExprNode* node, QuickSlot& slot) {
  ArrayRef array;
  std::int32_t index;
  if (!QuickArray(frame, node->left, array) || !QuickIndex(frame, node->right, index)) return false;
  VarData* data = array.data;
  if (data->dimension != 1 || !IsNumericKind(data->type) || data->payload.elements == nullptr) return false;
  slot.index = static_cast<std::int32_t>(static_cast<std::uint32_t>(array.origin) + static_cast<std::uint32_t>(index));
  const std::uint32_t offset = IndexOffset(slot.index, data->minIndex);
  if (offset >= data->elemCount) return false;
  slot.data = data;
  slot.at = static_cast<std::uint8_t*>(data->payload.elements) + offset * data->elemSize;
  return true;
}

// The array a name or an index expression denotes, without growing anything.
bool QuickArray(CallFrame& frame, const ExprNode* node, ArrayRef& out) {
  if (node->kind == EX_INDEX) {
    ArrayRef outer;
    std::int32_t index;
    if (!QuickArray(frame, node->left, outer) || outer.data->dimension < 2) return false;
    if (!QuickIndex(frame, node->right, index) || outer.data->payload.elements == nullptr) return false;
    const std::int32_t at = static_cast<std::int32_t>(static_cast<std::uint32_t>(outer.origin) + static_cast<std::uint32_t>(index));
    const std::uint32_t offset = IndexOffset(at, outer.data->minIndex);
    if (offset >= outer.data->elemCount) return false;
    const RowSlot& slot = static_cast<const RowSlot*>(outer.data->payload.elements)[offset];
    if (slot.row == nullptr) return false;  // made on the general path
    out = ArrayRef{slot.row, slot.origin};
    return true;
  }
  Var* var = QuickVariable(frame, node);
  if (var == nullptr || Arrayness(var) == 0) return false;
  if (IsElementRef(var)) {
    if (var->data->payload.elements == nullptr) return false;
    const std::uint32_t offset = IndexOffset(var->index, var->data->minIndex);
    if (offset >= var->data->elemCount) return false;
    const RowSlot& slot = static_cast<const RowSlot*>(var->data->payload.elements)[offset];
    if (slot.row == nullptr) return false;
    out = ArrayRef{slot.row, slot.origin};
    return true;
  }
  out = ArrayRef{var->data, var->index};
  return true;
}

Scalar ReadAt(const void* at, int kind) {
  switch (kind) {
    case KEL_BYTE: return MakeByte(*static_cast<const std::uint8_t*>(at));
    case KEL_INT: {
      std::int32_t value;
      std::memcpy(&value, at, 4);
      return MakeInt(value);
    }
    default: {
      double value;
      std::memcpy(&value, at, 8);
      return MakeFloat(value);
    }
  }
}

void WriteAt(void* at, int kind, const Scalar& value) {
  switch (kind) {
    case KEL_BYTE: *static_cast<std::uint8_t*>(at) = static_cast<std::uint8_t>(ScalarToInt(value)); break;
    case KEL_INT: {
      std::int32_t converted = ScalarToInt(value);
      std::memcpy(at, &converted, 4);
      break;
    }
    default: {
      double converted = ScalarToFloat(value);
      std::memcpy(at, &converted, 8);
      break;
    }
  }
}

// The member [node] names in [structure], found through the node's cache
// when the structure's member list is the one it found last time.
Var* MemberOf(const ExprNode* node, Var* structure, bool create) {
  MemberList* list = MembersOf(structure);
  if (list == nullptr) return nullptr;
  auto* cache = const_cast<ExprNode*>(node);
  if (cache->cachedList == list && cache->cachedStamp == list->stamp) return cache->cachedMember->var;
  MemberNode* member = FindMemberNode(list, node->name, create);
  if (member == nullptr) return nullptr;
  cache->cachedList = list;
  cache->cachedStamp = list->stamp;
  cache->cachedMember = member;
  return member->var;
}

namespace {

// The member the member expression [node] names, when it exists; found
// without evaluating or creating anything.
Var* ExistingMember(CallFrame& frame, const ExprNode* node) {
  Var* structure = node->name != nullptr ? QuickStructure(frame, node->left) : nullptr;
  return structure != nullptr ? MemberOf(node, structure, false) : nullptr;
}

// The member the member expression [node] names in a structure that is an
// Lvalue, found without evaluating anything; with [create], made when missing.
Var* LvalueMember(CallFrame& frame, const ExprNode* node, bool create) {
  Var* structure = node->name != nullptr ? QuickStructure(frame, node->left) : nullptr;
  return structure != nullptr && IsLvalue(structure) ? MemberOf(node, structure, create) : nullptr;
}

}  // namespace

// The structure a name or a member denotes, without creating anything.
Var* QuickStructure(CallFrame& frame, const ExprNode* node) {
  Var* base = node->kind == EX_MEMBER ? ExistingMember(frame, node) : QuickVariable(frame, node);
  return base != nullptr && IsStructure(base) ? base : nullptr;
}

namespace {
bool Truth(const Scalar& value) { return !IsZeroScalar(value); }
}  // namespace

// Members and elements for the integer routines.
bool QuickIntOfPlace(CallFrame& frame, const ExprNode* node, std::int32_t& out) {
  if (node->kind == EX_MEMBER) {
    Var* member = ExistingMember(frame, node);
    return member != nullptr && IntVariable(member, out);
  }
  QuickSlot slot;
  if (!QuickElement(frame, node, slot) || slot.data->type != KEL_INT) return false;
  std::memcpy(&out, slot.at, 4);
  return true;
}

namespace {

// A member's number: local.name through the node's cache at once, else
// found through its structure (which fills the cache).
bool QuickMemberValue(CallFrame& frame, const ExprNode* node, Scalar& out) {
  Var* member = IsLocalMember(node) ? LocalMember(frame, node) : nullptr;
  if (member == nullptr) member = ExistingMember(frame, node);
  return member != nullptr && ReadNumber(member, out);
}

}  // namespace

// The value of a pure expression as a number, computed without operands; false
// when it is no number or would report an error, and the general path then
// evaluates it (with no effect left behind by this attempt).
bool QuickValue(CallFrame& frame, const ExprNode* node, Scalar& out) {
  // (A member of any kind is read at once, not first tried as an integer.)
  if (node->kind == EX_MEMBER) return QuickMemberValue(frame, node, out);
  std::int32_t integer;
  if (QuickInt(frame, node, integer)) {
    out = MakeInt(integer);
    return true;
  }
  switch (node->kind) {
    case EX_BINARY: {
      Scalar a, b;
      return QuickValue(frame, node->left, a) && QuickValue(frame, node->right, b) &&
             NumericBinary(node->op, a, b, out);
    }
    case EX_PREFIX: {
      Scalar a;
      if (!QuickValue(frame, node->left, a)) return false;
      switch (node->op) {
        case TOK_NOT: out = MakeInt(Truth(a) ? 0 : 1); return true;
        case TOK_PLUS: out = a; return true;
        case TOK_NEG: out = Arithmetic(TOK_SUB, a.type == KEL_BYTE ? MakeByte(0) : a.type == KEL_INT ? MakeInt(0) : MakeFloat(0), a); return true;
        case TOK_COMPL: {
          std::int32_t complement = ~ScalarToInt(a);
          out = a.type == KEL_FLOAT ? MakeFloat(complement) : a.type == KEL_BYTE ? MakeByte(static_cast<std::uint8_t>(complement)) : MakeInt(complement);
          return true;
        }
        default: return false;
      }
    }
    case EX_LOGICAL: {
      Scalar a, b;
      if (!QuickValue(frame, node->left, a)) return false;
      const bool left = Truth(a);
      if (node->op == TOK_ANDAND ? !left : left) {
        out = MakeInt(left ? 1 : 0);
        return true;
      }
      if (!QuickValue(frame, node->right, b)) return false;
      out = MakeInt(Truth(b) ? 1 : 0);
      return true;
    }
    case EX_CONDITIONAL: {
      Scalar condition;
      if (!QuickValue(frame, node->left, condition)) return false;
      return QuickValue(frame, Truth(condition) ? node->right : node->third, out);
    }
    default:
      return QuickNumber(frame, node, out);
  }
}

bool QuickNumber(CallFrame& frame, const ExprNode* node, Scalar& out) {
  switch (node->kind) {
    case EX_NUMBER:
      out = node->number;
      return true;
    case EX_LOCAL:
    case EX_PARAMETER:
    case EX_VARIABLE: {
      Var* var = QuickVariable(frame, node);
      return var != nullptr && ReadNumber(var, out);
    }
    case EX_INDEX: {
      QuickSlot slot;
      if (!QuickElement(frame, node, slot)) return false;
      out = ReadAt(slot.at, slot.data->type);
      return true;
    }
    default:
      return false;
  }
}

// The variable or element a plain assignment target denotes, when it can be
// written directly (it holds a number already).
Var* QuickTarget(CallFrame& frame, const ExprNode* node) {
  if (node->kind == EX_LOCAL) return LocalSlot(frame, node->slot);
  if (node->kind == EX_MEMBER) return LvalueMember(frame, node, true);
  return QuickVariable(frame, node);
}

bool StepInt(Var* var, std::uint32_t step, std::int32_t& before) {
  if (var->flags == 0 || !IntVariable(var, before)) return false;
  var->data->payload.intValue = static_cast<std::int32_t>(static_cast<std::uint32_t>(before) + step);
  return true;
}

bool AssignInt(CallFrame& frame, Var* target, const ExprNode* value) {
  std::int32_t current, integer;
  if (!IntVariable(target, current) || !QuickInt(frame, value, integer)) return false;
  target->data->payload.intValue = integer;
  return true;
}

bool AssignElement(CallFrame& frame, const ExprNode* node, QuickSlot& slot) {
  Scalar value;
  if (!QuickValue(frame, node->right, value) || !QuickElement(frame, node->left, slot) || slot.data->isString) {
    return false;
  }
  ForgetTextEnd(slot.data);
  WriteAt(slot.at, slot.data->type, value);
  return true;
}

// x++, x--, ++x, --x on a plain variable holding an integer, in place.
bool QuickIntegerStep(CallFrame& frame, const ExprNode* node, Operand& out) {
  const ExprNode* operand = node->left;
  Var* var = operand->kind == EX_LOCAL ? &frame.locals[operand->slot] : QuickVariable(frame, operand);
  std::int32_t before;
  if (var == nullptr || !StepInt(var, node->op == TOK_INC ? 1u : ~0u, before)) return false;
  if ((node->flags & EXPR_DISCARDED) == 0) {
    out.SetScalar(MakeInt(node->kind == EX_POSTFIX ? before : var->data->payload.intValue));
  }
  return true;
}

// x op= y on a plain variable holding an integer, with an integer y.
bool QuickIntegerCompound(CallFrame& frame, const ExprNode* node, Operand& out) {
  const ExprNode* operand = node->left;
  Var* var = operand->kind == EX_LOCAL ? &frame.locals[operand->slot] : QuickVariable(frame, operand);
  std::int32_t a, b;
  if (var == nullptr || !IntVariable(var, a) || !(node->right->flags & EXPR_PURE) || !QuickInt(frame, node->right, b)) {
    return false;
  }
  if (!IntegerBinary(PlainOperator(node->op), a, b, a)) return false;
  var->data->payload.intValue = a;
  if ((node->flags & EXPR_DISCARDED) == 0) out.SetBorrowed(var);
  return true;
}

namespace {

// The variable or existing member an "op=" changes, when it is an Lvalue
// found without evaluating anything.
Var* CompoundTarget(CallFrame& frame, const ExprNode* node) {
  if (node->kind == EX_MEMBER) return LvalueMember(frame, node, false);
  Var* var = QuickVariable(frame, node);
  return var != nullptr && IsLvalue(var) ? var : nullptr;
}

}  // namespace

bool QuickNumberCompound(CallFrame& frame, const ExprNode* node, Operand& out) {
  if (!(node->right->flags & EXPR_PURE)) return false;
  Var* var = CompoundTarget(frame, node->left);
  Scalar a, b, result;
  if (var == nullptr || !ReadNumber(var, a) || !QuickValue(frame, node->right, b) ||
      !NumericBinary(PlainOperator(node->op), a, b, result) || !WriteNumber(var, result)) {
    return false;
  }
  if ((node->flags & EXPR_DISCARDED) == 0) {
    if (node->left->kind == EX_MEMBER) {
      out.SetHeld(var);  // (the enclosing expression may take its structure away)
    } else {
      out.SetBorrowed(var);
    }
  }
  return true;
}

[[gnu::noinline]] bool AssignNumber(CallFrame& frame, Var* target, const ExprNode* value) {
  Scalar number;
  return DirectNumber(target) != nullptr && QuickValue(frame, value, number) && WriteNumber(target, number);
}

// ===================================================================
// Statements run for their effect
// ===================================================================

namespace {

// [target] = [value] over a variable holding a number. (Each way ends in a
// call of its own, so that the integer one costs no more than it would alone.)
bool AssignQuickly(CallFrame& frame, Var* target, const ExprNode* value) {
  if (target->data->type != KEL_INT) return AssignNumber(frame, target, value);
  return AssignInt(frame, target, value);
}

// local = number, over a local holding a number.
bool AssignLocalInt(CallFrame& frame, const ExprNode* node) {
  Var* local = &frame.locals[node->left->slot];
  return local->data != nullptr && AssignQuickly(frame, local, node->right);
}

// array[index] = number, inside the array's span.
bool AssignElementInSpan(CallFrame& frame, const ExprNode* node) {
  QuickSlot slot;
  return AssignElement(frame, node, slot);
}

// local[i] = integer and local[i][j] = integer ([Depth] indexes), for local
// arrays of integers.
template <int Depth>
bool AssignLocalElement(CallFrame& frame, const ExprNode* node) {
  std::int32_t value;
  if (!QuickInt(frame, node->right, value)) return AssignElementInSpan(frame, node);
  VarData* data;
  std::int32_t* at = LocalIntElement<Depth>(frame, node->left, data);
  if (at == nullptr) return AssignElementInSpan(frame, node);
  ForgetTextEnd(data);
  *at = value;
  return true;
}

// local.name = number, over a member holding a number.
bool AssignLocalMember(CallFrame& frame, const ExprNode* node) {
  Var* member = LocalMember(frame, node->left);
  return member != nullptr && frame.locals[node->left->left->slot].flags != 0 &&
         AssignQuickly(frame, member, node->right);
}

[[gnu::noinline]] bool CompoundNumber(CallFrame& frame, const ExprNode* node) {
  Operand unused;
  return QuickNumberCompound(frame, node, unused);
}

// local op= integer, over a local holding an integer; else a number.
template <std::uint16_t Op>
bool CompoundLocal(CallFrame& frame, const ExprNode* node) {
  Var* local = &frame.locals[node->left->slot];
  std::int32_t a, b;
  if (!IntVariable(local, a) || !QuickInt(frame, node->right, b) || !IntegerOperator<Op>(a, b, a)) {
    return CompoundNumber(frame, node);
  }
  local->data->payload.intValue = a;
  return true;
}

using QuickRunFn = bool (*)(CallFrame&, const ExprNode*);

QuickRunFn CompoundLocalFor(std::uint16_t plain) {
  switch (plain) {
    case TOK_ADD: return CompoundLocal<TOK_ADD>;
    case TOK_SUB: return CompoundLocal<TOK_SUB>;
    case TOK_MUL: return CompoundLocal<TOK_MUL>;
    case TOK_DIV: return CompoundLocal<TOK_DIV>;
    case TOK_MOD: return CompoundLocal<TOK_MOD>;
    case TOK_BITAND: return CompoundLocal<TOK_BITAND>;
    case TOK_BITOR: return CompoundLocal<TOK_BITOR>;
    case TOK_BITXOR: return CompoundLocal<TOK_BITXOR>;
    case TOK_SHL: return CompoundLocal<TOK_SHL>;
    case TOK_SHR: return CompoundLocal<TOK_SHR>;
    default: return nullptr;
  }
}

// local++ and the like, over a local holding an integer.
template <std::uint32_t Step>
bool StepLocal(CallFrame& frame, const ExprNode* node) {
  std::int32_t before;
  return StepInt(&frame.locals[node->left->slot], Step, before);
}

bool CompoundInt(CallFrame& frame, const ExprNode* node) {
  Operand unused;
  return QuickIntegerCompound(frame, node, unused) || QuickNumberCompound(frame, node, unused);
}

bool StepIntOperand(CallFrame& frame, const ExprNode* node) {
  Operand unused;
  return QuickIntegerStep(frame, node, unused);
}

}  // namespace

bool NoQuickRun(CallFrame&, const ExprNode*) { return false; }

void ChooseQuickRun(ExprNode* node) {
  node->quickRun = NoQuickRun;
  if ((node->flags & EXPR_DISCARDED) == 0) return;
  const bool pureRight = node->right != nullptr && (node->right->flags & EXPR_PURE);
  switch (node->kind) {
    case EX_ASSIGN:
      if (node->left->kind == EX_LOCAL && pureRight) node->quickRun = AssignLocalInt;
      if (IsLocalMember(node->left) && pureRight) node->quickRun = AssignLocalMember;
      if (node->left->kind == EX_INDEX && pureRight) {
        switch (LocalElementDepth(node->left)) {
          case 1: node->quickRun = AssignLocalElement<1>; break;
          case 2: node->quickRun = AssignLocalElement<2>; break;
          default: node->quickRun = AssignElementInSpan; break;
        }
      }
      break;
    case EX_COMPOUND:
      if (node->left->kind == EX_LOCAL && pureRight && CompoundLocalFor(PlainOperator(node->op)) != nullptr) {
        node->quickRun = CompoundLocalFor(PlainOperator(node->op));
      } else if (node->left->kind <= EX_PARAMETER && pureRight) {  // (it needs an integer had without effects)
        node->quickRun = CompoundInt;
      } else if (node->left->kind == EX_MEMBER && pureRight) {
        node->quickRun = CompoundNumber;
      }
      break;
    case EX_PREFIX: case EX_POSTFIX:
      if (node->op != TOK_INC && node->op != TOK_DEC) break;
      if (node->left->kind == EX_LOCAL) {
        node->quickRun = node->op == TOK_INC ? StepLocal<1u> : StepLocal<~0u>;
      } else if (node->left->kind <= EX_PARAMETER) {
        node->quickRun = StepIntOperand;
      }
      break;
    default:
      break;
  }
}

void ChooseArgumentForm(ExprNode* node) {
  const bool byReference = !(node->flags & EXPR_FORCE_COPY);
  const bool pure = (node->flags & EXPR_PURE) != 0;
  switch (node->kind) {
    case EX_LOCAL: if (byReference) node->argumentForm = ARGUMENT_LOCAL; break;
    case EX_PARAMETER: if (byReference) node->argumentForm = ARGUMENT_PARAMETER; break;
    case EX_VARIABLE: if (byReference) node->argumentForm = ARGUMENT_VARIABLE; break;
    case EX_CONSTANT: node->argumentForm = ARGUMENT_LITERAL; break;
    case EX_BINARY: case EX_PREFIX: case EX_NUMBER: if (pure) node->argumentForm = ARGUMENT_INTEGER; break;
    case EX_INDEX:
      if (byReference && node->left->kind == EX_LOCAL && (node->right->flags & EXPR_PURE)) {
        node->argumentForm = ARGUMENT_ELEMENT;
      }
      break;
    case EX_MEMBER: if (byReference && IsLocalMember(node)) node->argumentForm = ARGUMENT_MEMBER; break;
    default: break;
  }
}

}  // namespace kel
