// Pure integer functions: compiling their bodies to register code when they
// are compiled, and running their calls on it.

#include "engine/pure_integer.h"

#include <algorithm>
#include <cstring>

#include "base/process.h"
#include "engine/calls.h"
#include "engine/code.h"
#include "engine/context.h"
#include "engine/functions.h"
#include "engine/quick_int.h"
#include "engine/token.h"
#include "platform/system.h"

namespace kel {

namespace {

enum PureOpCode : std::uint8_t {
  PURE_CONSTANT,      // a = k
  PURE_MOVE,          // a = b
  PURE_BINARY,        // a = b op c
  PURE_BINARY_K,      // a = b op k
  // The commonest operators, which never fail, as steps of their own:
  PURE_ADD, PURE_ADD_K, PURE_SUB, PURE_SUB_K, PURE_MUL, PURE_MUL_K,
  PURE_EQ, PURE_EQ_K, PURE_NE, PURE_NE_K, PURE_LT, PURE_LT_K,
  PURE_LE, PURE_LE_K, PURE_GT, PURE_GT_K, PURE_GE, PURE_GE_K,
  PURE_PREFIX,        // a = op b
  PURE_TRUTH,         // a = b != 0
  PURE_JUMP,          // to k
  PURE_JUMP_ZERO,     // to k when b == 0
  PURE_JUMP_NONZERO,  // to k when b != 0
  PURE_CALL,          // a = the call's callee, with k arguments from b on
  PURE_RETURN,        // the value b
  PURE_END,           // the body ended without a return: its value is undefined
};

static_assert(PURE_BINARY_K == PURE_BINARY + 1 && PURE_ADD_K == PURE_ADD + 1 && PURE_GE_K == PURE_GE + 1);

// The step for the operator [op] on two registers (PURE_BINARY for one
// without a step of its own); its constant form is the next code.
std::uint8_t BinaryStep(std::uint16_t op) {
  switch (op) {
    case TOK_ADD: return PURE_ADD;
    case TOK_SUB: return PURE_SUB;
    case TOK_MUL: return PURE_MUL;
    case TOK_EQ: return PURE_EQ;
    case TOK_NE: return PURE_NE;
    case TOK_LT: return PURE_LT;
    case TOK_LE: return PURE_LE;
    case TOK_GT: return PURE_GT;
    case TOK_GE: return PURE_GE;
    default: return PURE_BINARY;
  }
}

// At most this many arguments are passed on this path, and a function uses
// at most this many registers.
constexpr std::uint32_t kPureArguments = 8;
constexpr std::uint32_t kPureRegisters = 255;

// Compiling: every node of the body must have a form the code runs, or the
// function is no pure integer function. An expression deeper than the quick
// paths read is left to the general path.
class PureCompiler {
 public:
  explicit PureCompiler(PureCode& code) : code_(code) {}

  bool Body(const StmtNode* body, std::uint32_t parameterCount) {
    if (!ReadParameters(body, parameterCount)) return false;
    next_ = code_.parameters;
    if (!Statement(body)) return false;
    Emit(PURE_END);
    return ok_ && code_.registers <= kPureRegisters;
  }

 private:
  // Finds the parameters the body reads (they become its first registers).
  bool ReadParameters(const StmtNode* statement, std::uint32_t parameterCount) {
    parameterCount_ = parameterCount;
    reading_ = true;
    const bool ok = Statement(statement);
    reading_ = false;
    code_.ops.clear();
    return ok && ok_;
  }

  std::size_t Emit(std::uint8_t code, std::uint32_t a = 0, std::uint32_t b = 0, std::uint32_t c = 0,
                   std::int32_t k = 0, std::uint16_t op = 0, const ExprNode* call = nullptr) {
    code_.ops.push_back(PureOp{code, Register(a), Register(b), Register(c), op, k, call});
    return code_.ops.size() - 1;
  }
  std::uint8_t Register(std::uint32_t at) {
    if (at >= kPureRegisters) ok_ = false;
    return static_cast<std::uint8_t>(at);
  }
  std::int32_t Here() const { return static_cast<std::int32_t>(code_.ops.size()); }
  void Patch(std::size_t at) { code_.ops[at].k = Here(); }

  // A register of its own for a value computed now.
  std::uint32_t Temporary() {
    const std::uint32_t at = next_++;
    code_.registers = std::max(code_.registers, next_);
    return at;
  }

  bool Statement(const StmtNode* statement) {
    if (statement == nullptr) return false;
    switch (statement->kind) {
      case ST_BLOCK:
        for (std::uint32_t i = 0; i < statement->count; ++i) {
          if (!Statement(statement->items[i])) return false;
        }
        return true;
      case ST_BLOCK_END:
        return true;
      case ST_EXPRESSION:
        return statement->expr == nullptr;  // an empty statement
      case ST_IF: return If(statement);
      case ST_RETURN: {
        std::uint32_t value;
        if (!Operand(statement->expr, 0, value)) return false;
        Emit(PURE_RETURN, 0, value);
        next_ = code_.parameters;
        return true;
      }
      default:
        return false;
    }
  }

  bool If(const StmtNode* statement) {
    std::uint32_t condition;
    if (!Operand(statement->expr, 0, condition)) return false;
    next_ = code_.parameters;
    const std::size_t test = Emit(PURE_JUMP_ZERO, 0, condition);
    if (!Statement(statement->body)) return false;
    if (statement->other == nullptr) {
      Patch(test);
      return true;
    }
    const std::size_t over = Emit(PURE_JUMP);
    Patch(test);
    if (!Statement(statement->other)) return false;
    Patch(over);
    return true;
  }

  // The register that holds the value of [node] once its code has run: a
  // parameter's own, else a new one.
  bool Operand(const ExprNode* node, int depth, std::uint32_t& at) {
    if (node != nullptr && node->kind == EX_PARAMETER) return Parameter(node, at);
    at = Temporary();
    return Expression(node, depth, at);
  }

  bool Parameter(const ExprNode* node, std::uint32_t& at) {
    const auto slot = static_cast<std::uint32_t>(node->slot);
    if (slot >= parameterCount_) return false;
    if (reading_) code_.parameters = std::max(code_.parameters, slot + 1);
    at = slot;
    return true;
  }

  // The code that leaves the value of [node] in register [target].
  bool Expression(const ExprNode* node, int depth, std::uint32_t target) {
    if (node == nullptr || depth > kQuickHeight || !(node->flags & EXPR_WALK_INERT)) return false;
    ++depth;
    const std::uint32_t mark = next_;
    bool ok = true;
    switch (node->kind) {
      case EX_NUMBER:
        if (node->number.type != KEL_INT) return false;
        Emit(PURE_CONSTANT, target, 0, 0, node->number.intValue);
        break;
      case EX_PARAMETER: {
        std::uint32_t at;
        if (!Parameter(node, at)) return false;
        Emit(PURE_MOVE, target, at);
        break;
      }
      case EX_BINARY: ok = Binary(node, depth, target); break;
      case EX_PREFIX: {
        std::uint32_t operand;
        if (!IsIntegerPrefix(node->op) || !Operand(node->left, depth, operand)) return false;
        Emit(PURE_PREFIX, target, operand, 0, 0, node->op);
        break;
      }
      case EX_LOGICAL: ok = Logical(node, depth, target); break;
      case EX_CONDITIONAL: ok = Conditional(node, depth, target); break;
      case EX_CALL: ok = Call(node, depth, target); break;
      default:
        return false;
    }
    next_ = mark;
    return ok;
  }

  bool Binary(const ExprNode* node, int depth, std::uint32_t target) {
    std::uint32_t left, right;
    if (!IsIntegerOperator(node->op) || !Operand(node->left, depth, left)) return false;
    const ExprNode* constant = node->right;
    if (constant != nullptr && constant->kind == EX_NUMBER && constant->number.type == KEL_INT &&
        (constant->flags & EXPR_WALK_INERT)) {
      Emit(BinaryStep(node->op) + 1, target, left, 0, constant->number.intValue, node->op);
      return true;
    }
    if (!Operand(node->right, depth, right)) return false;
    Emit(BinaryStep(node->op), target, left, right, 0, node->op);
    return true;
  }

  // && and ||: 0 or 1; the right operand runs only when the left does not decide.
  bool Logical(const ExprNode* node, int depth, std::uint32_t target) {
    std::uint32_t operand;
    if (!Operand(node->left, depth, operand)) return false;
    Emit(PURE_TRUTH, target, operand);
    const std::size_t decided = Emit(node->op == TOK_ANDAND ? PURE_JUMP_ZERO : PURE_JUMP_NONZERO, 0, target);
    if (!Operand(node->right, depth, operand)) return false;
    Emit(PURE_TRUTH, target, operand);
    Patch(decided);
    return true;
  }

  bool Conditional(const ExprNode* node, int depth, std::uint32_t target) {
    std::uint32_t condition;
    if (!Operand(node->left, depth, condition)) return false;
    const std::size_t test = Emit(PURE_JUMP_ZERO, 0, condition);
    if (!Expression(node->right, depth, target)) return false;
    const std::size_t over = Emit(PURE_JUMP);
    Patch(test);
    if (!Expression(node->third, depth, target)) return false;
    Patch(over);
    return true;
  }

  // The arguments go to registers in a row, where the callee's parameters
  // are read from.
  bool Call(const ExprNode* node, int depth, std::uint32_t target) {
    if (node->name == nullptr || node->count > kPureArguments) return false;
    const std::uint32_t first = next_;
    for (std::uint32_t k = 0; k < node->count; ++k) Temporary();
    for (std::uint32_t k = 0; k < node->count; ++k) {
      if (!Expression(node->items[k], depth, first + k)) return false;
    }
    Emit(PURE_CALL, target, first, 0, static_cast<std::int32_t>(node->count), 0, node);
    return true;
  }

  PureCode& code_;
  std::uint32_t parameterCount_ = 0;
  std::uint32_t next_ = 0;
  bool reading_ = false;
  bool ok_ = true;
};

// Running: the outermost call this way and why it gave up.
class PureRun {
 public:
  explicit PureRun(Context& run) : run_(run) {}

  // True when giving up was only for the moment: a break request or window
  // messages, which the general path attends to.
  bool Interrupted() const { return interrupted_; }

  bool Call(const PureCode& code, const std::int32_t* arguments, std::uint32_t count, std::int32_t& out) {
    if (platform::StackRemaining() < kStackGuard || count < code.parameters) return false;
    if (BreakRequested | PumpRequested) {
      interrupted_ = true;
      return false;
    }
    // Every register file has room for kPureArguments more, so that the
    // arguments are copied as one block of fixed size, whatever their count.
    auto* r = static_cast<std::int32_t*>(__builtin_alloca(sizeof(std::int32_t) * (code.registers + kPureArguments)));
    std::memcpy(r, arguments, sizeof(std::int32_t) * kPureArguments);
    const PureOp* ops = code.ops.data();
    for (const PureOp* op = ops;; ++op) {
      switch (op->code) {
        case PURE_CONSTANT: r[op->a] = op->k; break;
        case PURE_MOVE: r[op->a] = r[op->b]; break;
        case PURE_BINARY:
          if (!IntegerBinary(op->op, r[op->b], r[op->c], r[op->a])) return false;
          break;
        case PURE_BINARY_K:
          if (!IntegerBinary(op->op, r[op->b], op->k, r[op->a])) return false;
          break;
        case PURE_ADD: IntegerOperator<TOK_ADD>(r[op->b], r[op->c], r[op->a]); break;
        case PURE_ADD_K: IntegerOperator<TOK_ADD>(r[op->b], op->k, r[op->a]); break;
        case PURE_SUB: IntegerOperator<TOK_SUB>(r[op->b], r[op->c], r[op->a]); break;
        case PURE_SUB_K: IntegerOperator<TOK_SUB>(r[op->b], op->k, r[op->a]); break;
        case PURE_MUL: IntegerOperator<TOK_MUL>(r[op->b], r[op->c], r[op->a]); break;
        case PURE_MUL_K: IntegerOperator<TOK_MUL>(r[op->b], op->k, r[op->a]); break;
        case PURE_EQ: r[op->a] = r[op->b] == r[op->c]; break;
        case PURE_EQ_K: r[op->a] = r[op->b] == op->k; break;
        case PURE_NE: r[op->a] = r[op->b] != r[op->c]; break;
        case PURE_NE_K: r[op->a] = r[op->b] != op->k; break;
        case PURE_LT: r[op->a] = r[op->b] < r[op->c]; break;
        case PURE_LT_K: r[op->a] = r[op->b] < op->k; break;
        case PURE_LE: r[op->a] = r[op->b] <= r[op->c]; break;
        case PURE_LE_K: r[op->a] = r[op->b] <= op->k; break;
        case PURE_GT: r[op->a] = r[op->b] > r[op->c]; break;
        case PURE_GT_K: r[op->a] = r[op->b] > op->k; break;
        case PURE_GE: r[op->a] = r[op->b] >= r[op->c]; break;
        case PURE_GE_K: r[op->a] = r[op->b] >= op->k; break;
        case PURE_PREFIX: r[op->a] = IntegerPrefix(op->op, r[op->b]); break;
        case PURE_TRUTH: r[op->a] = r[op->b] != 0; break;
        case PURE_JUMP: op = ops + op->k - 1; break;
        case PURE_JUMP_ZERO:
          if (r[op->b] == 0) op = ops + op->k - 1;
          break;
        case PURE_JUMP_NONZERO:
          if (r[op->b] != 0) op = ops + op->k - 1;
          break;
        case PURE_CALL: {
          const PureCode* callee = Callee(op->call);
          if (callee == nullptr || !Call(*callee, r + op->b, static_cast<std::uint32_t>(op->k), r[op->a])) {
            return false;
          }
          break;
        }
        case PURE_RETURN: out = r[op->b]; return true;
        default: return false;  // PURE_END
      }
    }
  }

 private:
  // The code of the function [node] calls, found as the general path finds
  // it (the name's function, cached at the node), when it is a pure integer
  // function compiled already; else null.
  const PureCode* Callee(const ExprNode* node) {
    auto* call = const_cast<ExprNode*>(node);
    if (call->function == nullptr || call->functionEpoch != FunctionEpoch) {
      FunctionRecord* found = FindFunction(run_, node->name, false);
      if (found == nullptr) return nullptr;  // (the general path reports it)
      call->function = found;
      call->functionEpoch = FunctionEpoch;
    }
    const FunctionRecord* function = call->function;
    if (function->kind != FUNCTION_SCRIPT || function->compiled == nullptr) return nullptr;
    return function->compiled->pure.get();
  }

  Context& run_;
  bool interrupted_ = false;
};

}  // namespace

std::unique_ptr<PureCode> CompilePureInteger(const FunctionRecord& function, const StmtNode* body) {
  if (function.nameCount != function.paramCount) return nullptr;  // it has locals
  if (platform::StackRemaining() < kStackGuard) return nullptr;
  auto code = std::make_unique<PureCode>();
  if (!PureCompiler(*code).Body(body, function.paramCount)) return nullptr;
  code->ops.shrink_to_fit();
  return code;
}

bool PureIntegerCall(CallFrame& frame, const ExprNode* node, FunctionRecord* function, std::int32_t& out) {
  CompiledBody* body = function->compiled.get();
  if (body == nullptr || body->pure == nullptr || body->pureGaveUp || node->count > kPureArguments) return false;
  std::int32_t values[kPureArguments];
  for (std::uint32_t k = 0; k < node->count; ++k) {
    if (!QuickInt(frame, node->items[k], values[k])) return false;
  }
  PureRun pure(*frame.run);
  if (pure.Call(*body->pure, values, node->count, out)) return true;
  // What made it give up would most likely do so again: such calls take the
  // general path from now on (it never loops in giving up and starting over).
  if (!pure.Interrupted()) body->pureGaveUp = true;
  return false;
}

}  // namespace kel
