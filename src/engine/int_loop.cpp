// Loops over integers: finding what a loop keeps in registers, compiling it
// to register code, and running it there.

#include "engine/int_loop.h"

#include <algorithm>
#include <map>
#include <set>

#include "base/process.h"
#include "engine/calls.h"
#include "engine/code.h"
#include "engine/context.h"
#include "engine/operators.h"
#include "engine/quick_int.h"
#include "engine/token.h"

namespace kel {

namespace {

// The local a for loop's first statement sets (local = value), or -1.
std::int32_t LocalSetBy(const StmtNode* init) {
  const ExprNode* expr = init != nullptr && init->kind == ST_EXPRESSION ? init->expr : nullptr;
  if (expr == nullptr || expr->kind != EX_ASSIGN || expr->left->kind != EX_LOCAL) return -1;
  return expr->left->slot;
}

bool IsStep(const ExprNode* node) {
  return (node->kind == EX_PREFIX || node->kind == EX_POSTFIX) && (node->op == TOK_INC || node->op == TOK_DEC) &&
         node->left->kind == EX_LOCAL;
}

// Whether an operator on integers cannot fail with the right operand [right].
bool CannotFail(std::uint16_t op, const ExprNode* right) {
  if (op != TOK_DIV && op != TOK_MOD) return true;
  return right->kind == EX_NUMBER && right->number.type == KEL_INT && right->number.intValue != 0;
}

// Finding what the loop uses: the locals it keeps in registers (read or
// written as integers), the local arrays whose elements it reads or writes,
// and the parameters it reads. Any form the code does not run fails it.
class LoopScan {
 public:
  struct Use {
    bool written = false;
    bool uncovered = false;  // read where no for loop around has set it first
  };
  std::map<std::int32_t, Use> locals;
  std::set<std::int32_t> arrays;
  std::set<std::int32_t> parameters;

  bool Statement(const StmtNode* statement) {
    if (statement == nullptr) return false;
    switch (statement->kind) {
      case ST_BLOCK:
        for (std::uint32_t i = 0; i < statement->count; ++i) {
          if (!Statement(statement->items[i])) return false;
        }
        return true;
      case ST_BLOCK_END: case ST_BREAK: case ST_CONTINUE:
        return true;
      case ST_EXPRESSION:
        return statement->expr == nullptr || Effect(statement->expr);
      case ST_IF:
        return Value(statement->expr, false) && Statement(statement->body) &&
               (statement->other == nullptr || Statement(statement->other));
      case ST_FOR: {
        const StmtNode* step = statement->other;
        if (statement->forError != 0 || statement->init == nullptr || statement->body == nullptr || step == nullptr ||
            step->kind != ST_EXPRESSION || step->expr == nullptr || !Statement(statement->init)) {
          return false;
        }
        covered_.push_back(LocalSetBy(statement->init));
        const bool ok = (statement->test == nullptr || Value(statement->test, true)) && Statement(statement->body) &&
                        Effect(step->expr);
        covered_.pop_back();
        return ok;
      }
      case ST_WHILE:
        return Value(statement->expr, true) && Statement(statement->body);
      default:
        return false;
    }
  }

 private:
  void Read(std::int32_t slot) {
    Use& use = locals[slot];
    if (std::find(covered_.begin(), covered_.end(), slot) == covered_.end()) use.uncovered = true;
  }
  void Write(std::int32_t slot) { locals[slot].written = true; }

  // An expression statement: an assignment to a local or to an element of a
  // local array, a compound assignment to a local, ++ or -- of a local.
  bool Effect(const ExprNode* node) {
    if (!(node->flags & EXPR_WALK_INERT)) return false;
    const ExprNode* target = node->left;
    switch (node->kind) {
      case EX_ASSIGN:
        if (target->kind == EX_LOCAL) {
          if (!Value(node->right, false)) return false;
          Write(target->slot);
          return true;
        }
        return Element(target, false) && Value(node->right, false);
      case EX_COMPOUND:
        if (target->kind != EX_LOCAL || !IsIntegerOperator(PlainOperator(node->op))) return false;
        Read(target->slot);
        if (!Value(node->right, false)) return false;
        Write(target->slot);
        return true;
      case EX_PREFIX: case EX_POSTFIX:
        if (!IsStep(node)) return false;
        Read(target->slot);
        Write(target->slot);
        return true;
      default:
        return false;
    }
  }

  bool Element(const ExprNode* node, bool test) {
    if (test) return false;  // (a loop's test must not fail)
    switch (LocalElementDepth(node)) {
      case 1:
        arrays.insert(node->left->slot);
        return Value(node->right, false);
      case 2:
        arrays.insert(node->left->left->slot);
        return Value(node->left->right, false) && Value(node->right, false);
      default:
        return false;
    }
  }

  // A value read; in a loop's [test], only of forms that cannot fail.
  bool Value(const ExprNode* node, bool test) {
    if (node == nullptr || !(node->flags & EXPR_WALK_INERT)) return false;
    switch (node->kind) {
      case EX_NUMBER: return node->number.type == KEL_INT;
      case EX_LOCAL: Read(node->slot); return true;
      case EX_PARAMETER: parameters.insert(node->slot); return true;
      case EX_INDEX: return Element(node, test);
      case EX_BINARY:
        return IsIntegerOperator(node->op) && (!test || CannotFail(node->op, node->right)) &&
               Value(node->left, test) && Value(node->right, test);
      case EX_PREFIX: return IsIntegerPrefix(node->op) && Value(node->left, test);
      case EX_LOGICAL: return Value(node->left, test) && Value(node->right, test);
      case EX_CONDITIONAL:
        return Value(node->left, test) && Value(node->right, test) && Value(node->third, test);
      default: return false;
    }
  }

  std::vector<std::int32_t> covered_;  // the locals for loops around have set first
};

// Compiling the loop with its locals and parameters in registers. Every
// step is stamped with the place the flat steps go on from when it fails:
// the statement it belongs to, or the loop's step. A statement writes its
// local or element last, so a statement that fails has changed nothing.
class IntLoopCompiler : public RegisterCompiler {
 public:
  IntLoopCompiler(const LoopScan& scan, IntLoop& loop) : loop_(loop) {
    std::uint32_t next = 0;
    for (const auto& [slot, use] : scan.locals) {
      localRegister_[slot] = next;
      loop.locals.push_back(IntLocal{slot, static_cast<std::uint8_t>(next++), use.written, !use.uncovered});
    }
    for (std::int32_t slot : scan.parameters) {
      parameterRegister_[slot] = next;
      loop.parameters.push_back(IntParameter{slot, static_cast<std::uint8_t>(next++)});
    }
    StartTemporaries(next);
    registers = next;
  }

  bool Loop(const StmtNode* statement) {
    if (!Statement(statement)) return false;
    Emit(REG_EXIT);
    return Fits() && loop_.resumes.size() <= UINT16_MAX;
  }

 protected:
  bool Held(const ExprNode* node, std::uint32_t& at) override {
    if (node->kind != EX_LOCAL && node->kind != EX_PARAMETER) return false;
    const auto& held = node->kind == EX_LOCAL ? localRegister_ : parameterRegister_;
    const auto found = held.find(node->slot);
    if (found == held.end()) return false;
    at = found->second;
    return true;
  }

  bool Other(const ExprNode* node, int depth, std::uint32_t target) override {
    std::uint32_t row, column;
    switch (LocalElementDepth(node)) {
      case 1:
        if (!Operand(node->right, depth, column)) return false;
        Emit(REG_ELEMENT1, target, column, 0, node->left->slot);
        return true;
      case 2:
        if (!Operand(node->left->right, depth, row) || !Operand(node->right, depth, column)) return false;
        Emit(REG_ELEMENT2, target, row, column, node->left->left->slot);
        return true;
      default:
        return false;
    }
  }

 private:
  struct Jumps {
    std::vector<std::size_t> breaks;
    std::vector<std::size_t> continues;
  };

  std::uint16_t Resume(IntResume::Kind kind, const StmtNode* statement) {
    loop_.resumes.push_back(IntResume{kind, statement});
    return static_cast<std::uint16_t>(loop_.resumes.size() - 1);
  }

  bool Statement(const StmtNode* statement) override {
    const std::uint32_t mark = Mark();
    bool ok = true;
    switch (statement->kind) {
      case ST_BLOCK:
        for (std::uint32_t i = 0; i < statement->count && ok; ++i) ok = Statement(statement->items[i]);
        break;
      case ST_EXPRESSION:
        if (statement->expr == nullptr) break;
        resume_ = Resume(IntResume::STATEMENT, statement);
        ok = Effect(statement->expr);
        break;
      case ST_IF:
        resume_ = Resume(IntResume::STATEMENT, statement);
        ok = If(statement);
        break;
      case ST_FOR: ok = For(statement); break;
      case ST_WHILE: ok = While(statement); break;
      case ST_BREAK: jumps_->breaks.push_back(Emit(REG_JUMP)); break;
      case ST_CONTINUE: jumps_->continues.push_back(Emit(REG_JUMP)); break;
      default: break;  // the closing brace
    }
    Release(mark);
    return ok;
  }

  // The body, its breaks and continues gathered; the continues go to what
  // follows it (the pass's check and the step or test).
  bool Body(const StmtNode* body, Jumps& jumps) {
    Jumps* outer = jumps_;
    jumps_ = &jumps;
    const bool ok = Statement(body);
    jumps_ = outer;
    for (std::size_t at : jumps.continues) Patch(at);
    return ok;
  }

  bool For(const StmtNode* statement) {
    if (!Statement(statement->init)) return false;
    covered_.push_back(LocalSetBy(statement->init));
    // (A loop's test cannot fail, so its steps need no place of their own.)
    std::size_t skip = SIZE_MAX, again;
    if (statement->test != nullptr && !Branch(statement->test, 0, false, skip)) return false;
    const std::int32_t top = Here();
    Jumps jumps;
    if (!Body(statement->body, jumps)) return false;
    resume_ = Resume(IntResume::STEP, statement);
    Emit(REG_CHECK);
    if (!Effect(statement->other->expr)) return false;
    if (statement->test != nullptr) {
      if (!Branch(statement->test, 0, true, again)) return false;
      PatchTo(again, top);
    } else {
      PatchTo(Emit(REG_JUMP), top);
    }
    covered_.pop_back();
    if (skip != SIZE_MAX) Patch(skip);
    for (std::size_t at : jumps.breaks) Patch(at);
    return true;
  }

  bool While(const StmtNode* statement) {
    std::size_t skip, again;
    if (!Branch(statement->expr, 0, false, skip)) return false;
    const std::int32_t top = Here();
    Jumps jumps;
    if (!Body(statement->body, jumps)) return false;
    resume_ = Resume(IntResume::TEST, statement);
    Emit(REG_CHECK);
    if (!Branch(statement->expr, 0, true, again)) return false;
    PatchTo(again, top);
    Patch(skip);
    for (std::size_t at : jumps.breaks) Patch(at);
    return true;
  }

  // An expression statement (one LoopScan accepted); its write comes last.
  bool Effect(const ExprNode* node) {
    const ExprNode* target = node->left;
    std::uint32_t value;
    if (node->kind == EX_ASSIGN && target->kind != EX_LOCAL) return Store(target, node->right);
    const std::uint32_t local = localRegister_.at(target->slot);
    switch (node->kind) {
      case EX_ASSIGN:
        // A form whose one write is its last step computes into the local itself.
        switch (node->right->kind) {
          case EX_NUMBER: case EX_BINARY: case EX_PREFIX: case EX_LOCAL: case EX_PARAMETER: case EX_INDEX:
            if (!Expression(node->right, 0, local)) return false;
            break;
          default:
            if (!Operand(node->right, 0, value)) return false;
            Emit(REG_MOVE, local, value);
            break;
        }
        break;
      case EX_COMPOUND: {
        const std::uint16_t op = PlainOperator(node->op);
        if (IsConstant(node->right)) {
          Emit(BinaryCode(op, node->right), local, local, 0, node->right->number.intValue, op);
        } else {
          if (!Operand(node->right, 0, value)) return false;
          Emit(BinaryCode(op, nullptr), local, local, value, 0, op);
        }
        break;
      }
      default:  // ++ and --
        Emit(node->op == TOK_INC ? REG_ADD_K : REG_SUB_K, local, local, 0, 1);
        break;
    }
    // A local that may be undefined when the loop starts is defined once a
    // statement no for loop around has set it first writes it.
    if (std::find(covered_.begin(), covered_.end(), target->slot) == covered_.end()) Emit(REG_DEFINED, local);
    return true;
  }

  bool Store(const ExprNode* target, const ExprNode* value) {
    std::uint32_t v, row, column;
    if (!Operand(value, 0, v)) return false;
    if (LocalElementDepth(target) == 1) {
      if (!Operand(target->right, 0, column)) return false;
      Emit(REG_STORE1, v, column, 0, target->left->slot);
      return true;
    }
    if (!Operand(target->left->right, 0, row) || !Operand(target->right, 0, column)) return false;
    Emit(REG_STORE2, v, row, column, target->left->left->slot);
    return true;
  }

  IntLoop& loop_;
  std::map<std::int32_t, std::uint32_t> localRegister_;
  std::map<std::int32_t, std::uint32_t> parameterRegister_;
  Jumps* jumps_ = nullptr;
  std::vector<std::int32_t> covered_;
};

bool IsUndefinedLocal(const Var* var) {
  return var->data == nullptr ||
         (var->data->type == KEL_UNKNOWN && var->data->dimension == 0 && !(var->flags & VAR_ELEMENT));
}

// Running: the loop's registers, what of them holds a local's value, and the
// loop's own steps.
class LoopRun {
 public:
  LoopRun(CallFrame& frame, const IntLoop& loop, std::int32_t* r) : frame_(frame), loop_(loop), r_(r) {}

  // Reads the locals and parameters into their registers; false when one is
  // not as the loop needs it.
  bool Load() {
    loaded_ = 0;
    for (const IntLocal& local : loop_.locals) {
      const Var* var = &frame_.locals[local.slot];
      if (IntVariable(var, r_[local.reg])) {
        loaded_ |= Bit(local.reg);
      } else if (!local.mayBeUndefined || !IsUndefinedLocal(var)) {
        loaded_ = 0;  // (nothing to write back)
        return false;
      }
    }
    for (const IntParameter& parameter : loop_.parameters) {
      if (parameter.slot >= frame_.argCount || !IntVariable(frame_.args[parameter.slot], r_[parameter.reg])) {
        loaded_ = 0;
        return false;
      }
    }
    return true;
  }

  // Writes the locals the loop wrote back to their variables.
  void WriteBack() {
    for (const IntLocal& local : loop_.locals) {
      const std::uint64_t bit = Bit(local.reg);
      if (!local.written || ((loaded_ | defined_) & bit) == 0) continue;
      if (loaded_ & bit) {
        frame_.locals[local.slot].data->payload.intValue = r_[local.reg];
        continue;
      }
      Var* var = LocalSlot(frame_, local.slot);  // undefined until now: it becomes an integer
      if (!SetTypeAndDims(*frame_.run, var, KEL_INT, 0)) continue;
      SetInt(var, r_[local.reg]);
      loaded_ |= bit;
    }
  }

  bool Element1(const RegisterOp* op, std::int32_t* r) {
    VarData* data;
    return Read(LocalIntAt(frame_, op->k, r[op->b], data), op, r);
  }
  bool Element2(const RegisterOp* op, std::int32_t* r) {
    VarData* data;
    return Read(LocalIntAt(frame_, op->k, r[op->b], r[op->c], data), op, r);
  }
  bool Store1(const RegisterOp* op, std::int32_t* r) {
    VarData* data;
    std::int32_t* at = LocalIntAt(frame_, op->k, r[op->b], data);
    return Write(at, data, op, r);
  }
  bool Store2(const RegisterOp* op, std::int32_t* r) {
    VarData* data;
    std::int32_t* at = LocalIntAt(frame_, op->k, r[op->b], r[op->c], data);
    return Write(at, data, op, r);
  }
  bool Check(const RegisterOp*, std::int32_t*) { return !(BreakRequested | PumpRequested) || Attend(); }
  void Defined(const RegisterOp* op) { defined_ |= Bit(op->a); }
  bool Call(const RegisterOp*, std::int32_t*) { return false; }  // (never in a loop's code)

 private:
  static std::uint64_t Bit(std::uint8_t reg) { return std::uint64_t{1} << reg; }

  // An element step's value read from, or written to, the element [at] (of
  // the array [data]); false when there is none.
  static bool Read(const std::int32_t* at, const RegisterOp* op, std::int32_t* r) {
    if (at == nullptr) return false;
    r[op->a] = *at;
    return true;
  }
  static bool Write(std::int32_t* at, VarData* data, const RegisterOp* op, const std::int32_t* r) {
    if (at == nullptr) return false;
    ForgetTextEnd(data);
    *at = r[op->a];
    return true;
  }

  // Window messages are handled here, with the locals written back, as
  // between statements; a break request hands back to the flat steps,
  // which stop the run.
  [[gnu::noinline]] bool Attend() {
    if (BreakRequested) return false;
    WriteBack();
    PumpRequested = 0;
    if (HostMessagePump != nullptr) HostMessagePump();
    if (BreakRequested || frame_.run->runState != RUN_RUNNING) return false;
    defined_ = 0;
    return Load();
  }

  CallFrame& frame_;
  const IntLoop& loop_;
  std::int32_t* r_;
  std::uint64_t loaded_ = 0;   // the locals read in as integers
  std::uint64_t defined_ = 0;  // the locals undefined then that a statement has written
};

}  // namespace

std::unique_ptr<IntLoop> CompileIntLoop(const StmtNode* statement) {
  LoopScan scan;
  if (!scan.Statement(statement) || scan.locals.size() > kIntLoopLocals) return nullptr;
  for (std::int32_t slot : scan.arrays) {
    if (scan.locals.count(slot) != 0) return nullptr;  // both an array and an integer
  }
  auto loop = std::make_unique<IntLoop>();
  IntLoopCompiler compiler(scan, *loop);
  if (!compiler.Loop(statement)) return nullptr;
  loop->ops = std::move(compiler.ops);
  loop->ops.shrink_to_fit();
  loop->registers = compiler.registers;
  return loop;
}

const FlatOp* RunIntLoop(CallFrame& frame, const IntLoop& loop, const FlatOp* exit) {
  auto* r = static_cast<std::int32_t*>(__builtin_alloca(sizeof(std::int32_t) * (loop.registers + 1)));
  LoopRun run(frame, loop, r);
  if (!run.Load()) return nullptr;
  const RegisterOp* end = RunRegisters(loop.ops.data(), r, run);
  run.WriteBack();
  return end->code == REG_EXIT ? exit : loop.resumes[end->resume].at;
}

}  // namespace kel
