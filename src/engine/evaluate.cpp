// Evaluating expressions: operands, operators through the operator table,
// assignment, short-circuit and conditional forms, indexing with automatic
// growth, members created on first use, array initializers and calls. What is
// passed over without running (the branch not taken) is walked by the walker.

#include "engine/evaluate.h"

#include <memory>
#include <new>
#include <vector>

#include "base/fast_paths.h"
#include "engine/arithmetic.h"
#include "engine/call_site.h"
#include "engine/calls.h"
#include "engine/code.h"
#include "engine/context.h"
#include "engine/functions.h"
#include "engine/messages.h"
#include "engine/operators.h"
#include "engine/pure_integer.h"
#include "engine/quick.h"
#include "engine/quick_call.h"
#include "engine/quick_operands.h"
#include "engine/statement_parts.h"
#include "engine/quick_int.h"
#include "engine/token.h"
#include "engine/walk.h"
#include "platform/system.h"

namespace kel {

namespace {

bool Stopped(const CallFrame& frame) { return frame.run->runState != RUN_RUNNING; }


// A copy of [value] as a temporary: numbers stay scalars, everything else gets
// a fresh Var (text and structures copied, arrays shared).
bool CopyToTemporary(CallFrame& frame, Operand& value, Operand& out) {
  if (value.var() == nullptr || value.IsNumber()) {
    out.SetScalar(value.Value());
    return true;
  }
  if (!value.IsDefined()) {
    out.SetUndefined();
    return true;
  }
  out.SetOwned(CopyToFreshVar(*frame.run, value));
  return !Stopped(frame);
}

}  // namespace

// Stores [value] into the variable [target] as "=" does.
bool Store(CallFrame& frame, Var* target, Operand& value) {
  Context& run = *frame.run;
  if (value.var() == nullptr) {
    if (IsNumericScalar(target)) {
      SetScalar(target, value.scalar());
      return true;
    }
    return Assign(run, target, value.Materialize());
  }
  if (value.var()->literal && Arrayness(value.var()) == 1) return AssignStringLiteral(run, target, value.var());
  if (value.owned()) return AssignTemporary(run, target, value.var());
  return Assign(run, target, value.var());
}

namespace {

// ===================================================================
// Node kinds
// ===================================================================

[[gnu::noinline]] bool EvaluateAssign(CallFrame& frame, const ExprNode* node, Operand& out) {
  Operand left, right;
  if (!Evaluate(frame, node->left, left)) return false;
  if (!Evaluate(frame, node->right, right)) return false;
  Context& run = At(frame, node);
  if (!CheckOperands(run, TOK_ASSIGN, &left, right)) return false;
  if (!Store(frame, left.var(), right)) return false;
  out = std::move(left);
  return true;
}

// x op= y: the plain operator's result is assigned to x, which is the result.
[[gnu::noinline]] bool EvaluateCompound(CallFrame& frame, const ExprNode* node, Operand& out) {
  Operand left, right;
  if (!Evaluate(frame, node->left, left)) return false;
  if (!EvaluateOperand(frame, node->right, right)) return false;
  if (kFastPaths && QuickCompoundOperands(PlainOperator(node->op), left, right)) {
    out = std::move(left);
    return true;
  }
  Context& run = At(frame, node);
  if (!CheckOperands(run, node->op, &left, right)) return false;
  Operand sum;
  if (!ApplyBinary(run, PlainOperator(node->op), left, right, sum)) return false;
  if (!Store(frame, left.var(), sum)) return false;
  out = std::move(left);
  return true;
}

[[gnu::noinline]] bool EvaluateBinary(CallFrame& frame, const ExprNode* node, Operand& out) {
  Operand left, right;
  if (!EvaluateOperand(frame, node->left, left)) return false;
  if (!EvaluateOperand(frame, node->right, right)) return false;
  if (kFastPaths && QuickBinaryOperands(node->op, left, right, out)) return true;
  Context& run = At(frame, node);
  if (!CheckOperands(run, node->op, &left, right)) return false;
  return ApplyBinary(run, node->op, left, right, out);
}

// Adds [step] to the Lvalue [target] as "+=" does (moving an array's origin).
bool Increment(CallFrame& frame, Operand& target, std::int32_t step) {
  Operand one, sum;
  one.SetScalar(MakeInt(step));
  if (!ApplyBinary(*frame.run, TOK_ADD, target, one, sum)) return false;
  return Store(frame, target.var(), sum);
}

[[gnu::noinline]] bool EvaluatePrefix(CallFrame& frame, const ExprNode* node, Operand& out) {
  Operand operand;
  if (!EvaluateOperand(frame, node->left, operand)) return false;
  Scalar before, after;
  if (kFastPaths && (node->op == TOK_INC || node->op == TOK_DEC) && QuickIncrement(operand, node->op, before, after)) {
    out.SetScalar(after);
    return true;
  }
  Context& run = At(frame, node);
  if (!CheckOperands(run, node->op, nullptr, operand)) return false;
  if (node->op == TOK_INC || node->op == TOK_DEC) {
    if (!Increment(frame, operand, node->op == TOK_INC ? 1 : -1)) return false;
    return CopyToTemporary(frame, operand, out);
  }
  return ApplyPrefix(run, node->op, operand, out);
}

[[gnu::noinline]] bool EvaluatePostfix(CallFrame& frame, const ExprNode* node, Operand& out) {
  Operand operand;
  if (!EvaluateOperand(frame, node->left, operand)) return false;
  Scalar before, after;
  if (kFastPaths && QuickIncrement(operand, node->op, before, after)) {
    out.SetScalar(before);
    return true;
  }
  Context& run = At(frame, node);
  if (!CheckOperands(run, node->op, nullptr, operand)) return false;
  if (!CopyToTemporary(frame, operand, out)) return false;
  return Increment(frame, operand, node->op == TOK_INC ? 1 : -1);
}

bool Truth(CallFrame& frame, const ExprNode* node, const Operand& value, int& truth) {
  return OperandTruth(At(frame, node), value, truth);
}

// && and ||: the right operand runs only when the left does not decide.
[[gnu::noinline]] bool EvaluateLogical(CallFrame& frame, const ExprNode* node, Operand& out) {
  Operand left, right;
  if (!Evaluate(frame, node->left, left)) return false;
  int truth = 0;
  if (!Truth(frame, node, left, truth)) return false;
  const bool needRight = node->op == TOK_ANDAND ? truth != 0 : truth == 0;
  if (needRight ? !Evaluate(frame, node->right, right) : !WalkExpression(frame, node->right)) return false;
  if (needRight && !Truth(frame, node, right, truth)) return false;
  out.SetScalar(MakeInt(truth));
  return true;
}

[[gnu::noinline]] bool EvaluateConditional(CallFrame& frame, const ExprNode* node, Operand& out) {
  Operand condition, first, second;
  if (!Evaluate(frame, node->left, condition)) return false;
  int truth = 0;
  if (!Truth(frame, node, condition, truth)) return false;
  if (truth ? !Evaluate(frame, node->right, first) : !WalkExpression(frame, node->right)) return false;
  if (!truth ? !Evaluate(frame, node->third, second) : !WalkExpression(frame, node->third)) return false;
  out = truth ? std::move(first) : std::move(second);
  return true;
}

// An element or member [part] of [base] as the result: the part itself when
// the base is a variable; a copy when it is a temporary, whose parts cannot
// be assigned to.
bool PartOf(CallFrame& frame, const Operand& base, Operand& part, Operand& out) {
  if (base.IsLvalue()) {
    out = std::move(part);
    return true;
  }
  return CopyToTemporary(frame, part, out);
}

[[gnu::noinline]] bool EvaluateIndex(CallFrame& frame, const ExprNode* node, Operand& out) {
  Operand base, index;
  if (!Evaluate(frame, node->left, base)) return false;
  if (!Evaluate(frame, node->right, index)) return false;
  Context& run = At(frame, node);
  if (!index.IsNumber()) {
    return RaiseErrorIfRunning(run, MSG_1502);
  }
  if (base.ArrayDepth() == 0 && base.IsDefined()) {
    return RaiseError(run, MSG_1601);
  }
  Operand element;
  element.SetOwned(ElementRef(base.Materialize(), ScalarToInt(index.Value())));
  return PartOf(frame, base, element, out);
}

[[gnu::noinline]] bool EvaluateMember(CallFrame& frame, const ExprNode* node, Operand& out) {
  Operand base;
  if (!Evaluate(frame, node->left, base)) return false;
  Context& run = At(frame, node);
  if (node->name == nullptr) {
    return RaiseErrorIfRunning(run, MSG_1602);
  }
  if (base.ArrayDepth() == 0 && !base.IsDefined()) {
    if (!SetTypeAndDims(run, base.Materialize(), KEL_STRUCT, 0)) return false;
  }
  if (base.ArrayDepth() != 0 || base.Kind() != KEL_STRUCT) {
    return RaiseErrorIfRunning(run, MSG_1603);
  }
  Operand member;
  member.SetHeld(MemberOf(node, base.var(), true));
  return PartOf(frame, base, member, out);
}

// { e0, e1, ... }: the first element fixes the kind and depth; a numeric 0 or
// an empty array may stand for a missing sub-array.
[[gnu::noinline]] bool EvaluateInitializer(CallFrame& frame, const ExprNode* node, Operand& out) {
  std::vector<Operand> elements(node->count);
  for (std::uint32_t k = 0; k < node->count; ++k) {
    if (!Evaluate(frame, node->items[k], elements[k])) return false;
  }
  Context& run = At(frame, node);
  if (node->count == 0) {
    out.SetOwned(NewVar(KEL_UNKNOWN, 1));
    return true;
  }
  for (Operand& element : elements) {
    if (!element.IsDefined()) return RaiseUndefined(run, element.var());
  }
  const int depth = elements[0].ArrayDepth();
  Var* array = NewVar(elements[0].Kind(), depth + 1);
  out.SetOwned(array);
  for (std::uint32_t k = 0; k < node->count; ++k) {
    Operand& element = elements[k];
    bool standsForMissing = depth > 0 && ((element.IsNumber() && ScalarToInt(element.Value()) == 0) ||
                                          (element.ArrayDepth() > 0 && !TruthValue(run, element.Materialize())));
    if (element.ArrayDepth() != depth && !standsForMissing) {
      return RaiseError(run, MSG_1611);
    }
    Operand slot;
    slot.SetOwned(ElementRef(array, static_cast<std::int32_t>(k)));
    if (!Store(frame, slot.var(), element)) return false;
  }
  return true;
}

// The operands and variables of a call's arguments: room for the commonest
// counts on the machine stack, on the heap beyond.
class CallArguments {
 public:
  explicit CallArguments(std::uint32_t count) : count_(count) {
    if (count > kRoom) {
      heapValues_.reset(new Operand[count]);
      heapArgs_.reset(new Var*[count]);
      values_ = heapValues_.get();
      args_ = heapArgs_.get();
    } else {
      values_ = reinterpret_cast<Operand*>(room_);
      for (std::uint32_t k = 0; k < count; ++k) new (&values_[k]) Operand();
      args_ = smallArgs_;
    }
  }
  ~CallArguments() {
    if (count_ <= kRoom) {
      for (std::uint32_t k = 0; k < count_; ++k) values_[k].~Operand();
    }
  }
  CallArguments(const CallArguments&) = delete;
  CallArguments& operator=(const CallArguments&) = delete;

  Operand& value(std::uint32_t k) { return values_[k]; }
  Var** args() { return args_; }

 private:
  static constexpr std::uint32_t kRoom = 6;
  std::uint32_t count_;
  Operand* values_;
  Var** args_;
  alignas(Operand) unsigned char room_[kRoom * sizeof(Operand)];
  Var* smallArgs_[kRoom];
  std::unique_ptr<Operand[]> heapValues_;
  std::unique_ptr<Var*[]> heapArgs_;
};

// Evaluates argument [k] of [node] into [arguments]: variables, members and
// elements are passed by reference; everything else, and whatever "=" stands
// before, as a fresh copy (but a literal a built-in only reads needs none).
bool PassArgument(CallFrame& frame, const ExprNode* node, std::uint32_t k, std::uint32_t readOnly,
                  CallArguments& arguments) {
  const ExprNode* argument = node->items[k];
  Operand& value = arguments.value(k);
  // OPTIMIZATION: an integer computed for the call goes straight into its
  // fresh variable.
  std::int32_t integer;
  if ((argument->kind == EX_BINARY || argument->kind == EX_PREFIX || argument->kind == EX_NUMBER) &&
      (argument->flags & EXPR_PURE) && QuickInt(frame, argument, integer)) {
    value.SetOwned(NewIntVar(integer));
    arguments.args()[k] = value.var();
    return true;
  }
  if (argument->kind == EX_LOCAL) {
    value.SetBorrowed(LocalSlot(frame, argument->slot));
  } else if (argument->kind == EX_CONSTANT || argument->kind == EX_VARIABLE) {
    value.SetBorrowed(argument->var);
  } else if (!Evaluate(frame, argument, value)) {
    return RaiseErrorIfRunning(At(frame, argument), MSG_1501, static_cast<int>(k + 1));
  }
  const bool readOnlyLiteral = readOnly != 0 && value.var() != nullptr && value.var()->literal &&
                               (readOnly & (1u << (k < 31 ? k : 31))) != 0;
  if (!readOnlyLiteral && (!value.IsLvalue() || (argument->flags & EXPR_FORCE_COPY))) {
    Var* copy = CopyToFreshVar(*frame.run, value);
    if (copy == nullptr) return false;
    value.SetOwned(copy);
  }
  arguments.args()[k] = value.var();
  return true;
}

bool CallGenerally(CallFrame& frame, const ExprNode* node, std::uint32_t readOnly, Operand& out);

}  // namespace

[[gnu::noinline]] bool EvaluateCall(CallFrame& frame, const ExprNode* node, Operand& out) {
  ExprNode* call = const_cast<ExprNode*>(node);
  if (call->function == nullptr || call->functionEpoch != FunctionEpoch) {
    call->function = FindFunction(At(frame, node), node->name, true);
    if (call->function == nullptr) return false;
    call->functionEpoch = FunctionEpoch;
  }
  const std::uint32_t count = node->count;
  const bool script = call->function->kind == FUNCTION_SCRIPT;
  if (kFastPaths && script) {
    std::int32_t value;
    if (PureIntegerCall(frame, node, call->function, value)) {
      out.SetScalar(MakeInt(value));
      return true;
    }
  }
  const std::uint32_t readOnly = script ? 0 : call->function->entry->readOnly;
  if (kFastPaths && count <= kQuickArguments) {
    bool called;
    if (QuickCall(frame, node, script, readOnly, out, called)) return called;
  }
  return CallGenerally(frame, node, readOnly, out);
}

namespace {

// A call with arguments of any form, each evaluated into an operand.
[[gnu::noinline]] bool CallGenerally(CallFrame& frame, const ExprNode* node, std::uint32_t readOnly, Operand& out) {
  const std::uint32_t count = node->count;
  CallArguments arguments(count);
  for (std::uint32_t k = 0; k < count; ++k) {
    if (!PassArgument(frame, node, k, readOnly, arguments)) return false;
  }
  const bool ok = CallAt(frame, node, node->function, arguments.args(), out);
  // A result that is one of the call's own temporary arguments (a built-in
  // handing its argument back) takes that argument over, so it outlives the call.
  if (out.var() != nullptr && !out.owned()) {
    for (std::uint32_t k = 0; k < count; ++k) {
      Operand& value = arguments.value(k);
      if (value.var() == out.var() && value.owned()) {
        out = std::move(value);
        break;
      }
    }
  }
  return ok;
}

}  // namespace

bool OperandTruth(Context& run, const Operand& value, int& truth) {
  if (value.var() != nullptr) {
    truth = TruthValue(run, value.var());
    return truth >= 0;
  }
  if (value.scalar().type == KEL_UNKNOWN) return RaiseUndefined(run, nullptr);
  truth = ScalarToFloat(value.scalar()) != 0.0 ? 1 : 0;
  return true;
}

bool Evaluate(CallFrame& frame, const ExprNode* node, Operand& out) {
  // Every operand nests through here: deep nesting ends in 8000.
  if (platform::StackRemaining() < kStackGuard) return StopBeforeRunning(frame);
  switch (node->kind) {
    case EX_NO_VALUE:
      return true;
    case EX_ERROR:
      if (node->left != nullptr) {
        Operand prelude;
        if (!Evaluate(frame, node->left, prelude)) return false;
      }
      return ReportErrorNode(frame, node);
    case EX_NUMBER:
      out.SetScalar(node->number);
      return true;
    case EX_CONSTANT:
    case EX_VARIABLE:
      out.SetBorrowed(node->var);
      return true;
    case EX_LOCAL:
      out.SetBorrowed(LocalSlot(frame, node->slot));
      return true;
    case EX_PARAMETER: {
      if (node->slot >= frame.argCount) At(frame, node);
      Var* argument = node->slot < frame.argCount ? frame.args[node->slot] : Argument(frame, node->slot);
      if (argument == nullptr) return false;
      out.SetBorrowed(argument);
      return true;
    }
    case EX_CALL: return EvaluateCall(frame, node, out);
    case EX_PREFIX:
      if (kFastPaths && QuickPrefix(frame, node, out)) return true;
      return EvaluatePrefix(frame, node, out);
    case EX_POSTFIX:
      if (kFastPaths && QuickPostfix(frame, node, out)) return true;
      return EvaluatePostfix(frame, node, out);
    case EX_BINARY:
      if (kFastPaths && QuickPure(frame, node, out)) return true;
      return EvaluateBinary(frame, node, out);
    case EX_ASSIGN: {
      bool assigned;
      if (kFastPaths && QuickAssign(frame, node, out, assigned)) return assigned;
      return EvaluateAssign(frame, node, out);
    }
    case EX_COMPOUND:
      if (kFastPaths && QuickCompound(frame, node, out)) return true;
      return EvaluateCompound(frame, node, out);
    case EX_LOGICAL:
      if (kFastPaths && QuickPure(frame, node, out)) return true;
      return EvaluateLogical(frame, node, out);
    case EX_CONDITIONAL:
      if (kFastPaths && QuickPure(frame, node, out)) return true;
      return EvaluateConditional(frame, node, out);
    case EX_INDEX: return EvaluateIndex(frame, node, out);
    case EX_MEMBER: return EvaluateMember(frame, node, out);
    case EX_INITIALIZER: return EvaluateInitializer(frame, node, out);
    case EX_COMMA: {
      if (kFastPaths && QuickPure(frame, node, out)) return true;
      Operand discarded;
      if (!Evaluate(frame, node->left, discarded)) return false;
      return Evaluate(frame, node->right, out);
    }
    default:
      return true;
  }
}

}  // namespace kel
