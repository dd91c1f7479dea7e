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
#include "engine/token.h"
#include "platform/system.h"

namespace kel {

namespace {

// At most this many arguments are passed on this path.
constexpr std::uint32_t kPureArguments = 8;

// Every node of the body must have a form the code runs, or the function is
// no pure integer function. Parameters are the first registers.
class PureCompiler : public RegisterCompiler {
 public:
  explicit PureCompiler(std::uint32_t parameterCount) : parameterCount_(parameterCount) {
    StartTemporaries(parameterCount);
    registers = parameterCount;
  }

  std::uint32_t parameters = 0;

  bool Body(const StmtNode* body) {
    if (!Statement(body)) return false;
    Emit(REG_END);
    return Fits();
  }

 protected:
  bool Held(const ExprNode* node, std::uint32_t& at) override {
    if (node->kind != EX_PARAMETER || static_cast<std::uint32_t>(node->slot) >= parameterCount_) return false;
    at = static_cast<std::uint32_t>(node->slot);
    parameters = std::max(parameters, at + 1);
    return true;
  }

  // A call: its arguments go to registers in a row, where the callee's
  // parameters are read from.
  bool Other(const ExprNode* node, int depth, std::uint32_t target) override {
    if (node->kind != EX_CALL || node->name == nullptr || node->count > kPureArguments) return false;
    const std::uint32_t first = Mark();
    for (std::uint32_t k = 0; k < node->count; ++k) Temporary();
    for (std::uint32_t k = 0; k < node->count; ++k) {
      if (!Expression(node->items[k], depth, first + k)) return false;
    }
    Emit(REG_CALL, target, first, 0, static_cast<std::int32_t>(node->count), 0, node);
    return true;
  }

  bool Statement(const StmtNode* statement) override {
    if (statement == nullptr) return false;
    const std::uint32_t mark = Mark();
    std::uint32_t value;
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
      case ST_IF:
        return If(statement);
      case ST_RETURN:
        if (!Operand(statement->expr, 0, value)) return false;
        Release(mark);
        Emit(REG_RETURN, 0, value);
        return true;
      default:
        return false;
    }
  }

 private:
  std::uint32_t parameterCount_;
};

// Running: the outermost call this way and why it gave up.
class PureRun {
 public:
  explicit PureRun(Context& run) : run_(run) {}

  // True when giving up was only for the moment: a break request or window
  // messages, which the general path attends to.
  bool Interrupted() const { return interrupted_; }

  // [arguments] holds kPureArguments values, of which [count] were passed.
  bool Run(const PureCode& code, const std::int32_t* arguments, std::uint32_t count, std::int32_t& out) {
    if (platform::StackRemaining() < kStackGuard || count < code.parameters) return false;
    if (BreakRequested | PumpRequested) {
      interrupted_ = true;
      return false;
    }
    // Every register file has room for kPureArguments more, so that the
    // arguments are copied as one block of fixed size, whatever their count.
    auto* r = static_cast<std::int32_t*>(__builtin_alloca(sizeof(std::int32_t) * (code.registers + kPureArguments)));
    std::memcpy(r, arguments, sizeof(std::int32_t) * kPureArguments);
    const RegisterOp* end = RunRegisters(code.ops.data(), r, *this);
    if (end->code != REG_RETURN) return false;
    out = r[end->b];
    return true;
  }

  bool Call(const RegisterOp* op, std::int32_t* r) {
    const PureCode* callee = Callee(op->node);
    return callee != nullptr && Run(*callee, r + op->b, static_cast<std::uint32_t>(op->k), r[op->a]);
  }
  // (Steps of loops, which this code never holds.)
  bool Element1(const RegisterOp*, std::int32_t*) { return false; }
  bool Element2(const RegisterOp*, std::int32_t*) { return false; }
  bool Store1(const RegisterOp*, std::int32_t*) { return false; }
  bool Store2(const RegisterOp*, std::int32_t*) { return false; }
  bool Check(const RegisterOp*, std::int32_t*) { return false; }
  void Defined(const RegisterOp*) {}

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
  // It has locals, or more parameters than a call passes this way.
  if (function.nameCount != function.paramCount || function.paramCount > kPureArguments) return nullptr;
  if (platform::StackRemaining() < kStackGuard) return nullptr;
  PureCompiler compiler(function.paramCount);
  if (!compiler.Body(body)) return nullptr;
  auto code = std::make_unique<PureCode>();
  code->ops = std::move(compiler.ops);
  code->ops.shrink_to_fit();
  code->parameters = compiler.parameters;
  code->registers = compiler.registers;
  return code;
}

namespace {

// The pure code of [function] when a call of [count] arguments may run it.
CompiledBody* PureBody(FunctionRecord* function, std::uint32_t count) {
  CompiledBody* body = function->compiled.get();
  if (body == nullptr || body->pure == nullptr || body->pureGaveUp || count > kPureArguments) return nullptr;
  return body;
}

// Runs [body]'s pure code on the [count] integers [values].
bool RunPure(Context& run, CompiledBody* body, const std::int32_t* values, std::uint32_t count, std::int32_t& out) {
  PureRun pure(run);
  if (pure.Run(*body->pure, values, count, out)) return true;
  // What made it give up would most likely do so again: such calls take the
  // general path from now on (it never loops in giving up and starting over).
  if (!pure.Interrupted()) body->pureGaveUp = true;
  return false;
}

}  // namespace

bool PureIntegerCall(CallFrame& frame, const ExprNode* node, FunctionRecord* function, std::int32_t& out) {
  CompiledBody* body = PureBody(function, node->count);
  if (body == nullptr) return false;
  std::int32_t values[kPureArguments];
  for (std::uint32_t k = 0; k < node->count; ++k) {
    if (!QuickInt(frame, node->items[k], values[k])) return false;
  }
  return RunPure(*frame.run, body, values, node->count, out);
}

bool PureIntegerCallOf(Context& run, FunctionRecord* function, Var** args, std::uint32_t count, std::int32_t& out) {
  CompiledBody* body = function->kind == FUNCTION_SCRIPT ? PureBody(function, count) : nullptr;
  if (body == nullptr) return false;
  std::int32_t values[kPureArguments];
  for (std::uint32_t k = 0; k < count; ++k) {
    if (!IntVariable(args[k], values[k])) return false;
  }
  return RunPure(run, body, values, count, out);
}

}  // namespace kel
