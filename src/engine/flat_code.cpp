// Flattening a function body, and running the flat steps. The steps do what
// the statement runner does, in the same order, including where a walk over
// an untaken branch or a finished loop's body leaves the current position
// (which errors raised later without a position of their own name).

#include "engine/flat_code.h"

#include <unordered_map>

#include "base/process.h"
#include "engine/calls.h"
#include "engine/code.h"
#include "engine/context.h"
#include "engine/evaluate.h"
#include "engine/int_loop.h"
#include "engine/operand.h"
#include "engine/statement_parts.h"

namespace kel {

namespace {

constexpr std::uint8_t kFlatEnd = 0xFF;

class Flattener {
 public:
  explicit Flattener(FlatCode& code) : code_(code) {}

  bool Body(const StmtNode* body) {
    for (std::uint32_t i = 0; i < body->count; ++i) {
      const StmtNode* item = body->items[i];
      if (item->kind == ST_BLOCK_END) {
        Emit(FLAT_STATEMENT, item->token);  // the closing brace runs as a statement too
        break;
      }
      if (!Statement(item)) return false;
    }
    return true;
  }

  // Where the steps of [statement] start, of a for loop's step, of a while
  // loop's test: the places a loop run in registers hands back to (by
  // index, before the code is tightened); SIZE_MAX when there is none.
  std::size_t StartOf(const IntResume& resume) const {
    const auto& places = resume.kind == IntResume::STATEMENT ? starts_ : resume.kind == IntResume::STEP ? steps_ : tests_;
    const auto found = places.find(resume.statement);
    return found != places.end() ? found->second : SIZE_MAX;
  }

 private:
  struct Loop {
    std::vector<std::size_t> breaks;
    std::vector<std::size_t> continues;
  };

  std::size_t Emit(std::uint8_t code, const Token* token = nullptr, const ExprNode* expr = nullptr,
                   const StmtNode* statement = nullptr) {
    code_.ops.push_back(FlatOp{code, 0, 0, nullptr, nullptr, token, expr, statement, nullptr});
    return code_.ops.size() - 1;
  }
  std::uint32_t Here() const { return static_cast<std::uint32_t>(code_.ops.size()); }
  void Patch(std::size_t at, std::uint32_t target) { code_.ops[at].target = target; }

  static bool Inert(const ExprNode* expr) { return expr == nullptr || (expr->flags & EXPR_WALK_INERT) != 0; }

  // The position a walk over [statement] leaves, or null when walking it
  // could do more than move the position.
  const Token* WalkEnd(const StmtNode* statement) const {
    if (statement == nullptr) return nullptr;
    if (statement->walkInert) return statement->token;
    switch (statement->kind) {
      case ST_BREAK: case ST_CONTINUE: return loop_ != nullptr ? statement->token : nullptr;
      case ST_IF: {
        if (!Inert(statement->expr)) return nullptr;
        const Token* body = WalkEnd(statement->body);
        if (statement->other == nullptr || body == nullptr) return body;
        return WalkEnd(statement->other);
      }
      default:
        return nullptr;
    }
  }

  bool Statement(const StmtNode* statement) {
    starts_[statement] = Here();
    switch (statement->kind) {
      case ST_EXPRESSION:
        if (!Inert(statement->expr)) return false;
        Emit(statement->expr != nullptr ? FLAT_EXPRESSION : FLAT_STATEMENT, statement->token, statement->expr);
        return true;
      case ST_BLOCK:
        Emit(FLAT_STATEMENT, statement->token);
        return Body(statement);
      case ST_RETURN:
        if (!Inert(statement->expr)) return false;
        Emit(FLAT_RETURN, statement->token, statement->expr, statement);
        return true;
      case ST_IF: return If(statement);
      case ST_WHILE: return While(statement);
      case ST_DO: return Do(statement);
      case ST_FOR: return For(statement);
      case ST_BREAK: case ST_CONTINUE: {
        if (loop_ == nullptr) return false;
        const std::size_t jump = Emit(FLAT_STATEMENT_JUMP, statement->token);
        (statement->kind == ST_BREAK ? loop_->breaks : loop_->continues).push_back(jump);
        return true;
      }
      default:
        return false;  // labels, goto, switch and errors run on the tree
    }
  }

  bool If(const StmtNode* statement) {
    if (!Inert(statement->expr) || statement->body == nullptr) return false;
    const Token* bodyEnd = WalkEnd(statement->body);
    if (bodyEnd == nullptr) return false;
    const std::size_t test = Emit(FLAT_IF, statement->token, statement->expr);
    if (!Statement(statement->body)) return false;
    if (statement->other == nullptr) {
      const std::size_t over = Emit(FLAT_JUMP);
      Patch(test, Here());
      Emit(FLAT_POSITION, bodyEnd);  // the walk over the body not taken
      Patch(over, Here());
      return true;
    }
    const Token* otherEnd = WalkEnd(statement->other);
    if (otherEnd == nullptr) return false;
    Emit(FLAT_POSITION, otherEnd);  // the walk over the other branch
    const std::size_t over = Emit(FLAT_JUMP);
    Patch(test, Here());
    if (!Statement(statement->other)) return false;
    Patch(over, Here());
    return true;
  }

  // Runs [body] as a loop body, with its break and continue jumps gathered.
  bool LoopBody(const StmtNode* body, Loop& loop) {
    Loop* outer = loop_;
    loop_ = &loop;
    const bool ok = Statement(body);
    loop_ = outer;
    return ok;
  }

  // Loops are laid out with their test after the body, so that a pass costs
  // one jump; a first test before the body decides whether it runs at all. A
  // finished while or for loop (its test false, or a break) walks its body
  // once more.
  bool While(const StmtNode* statement) {
    Loop loop;
    const Token* bodyEnd = statement->body != nullptr ? LoopWalkEnd(statement->body, loop) : nullptr;
    if (!Inert(statement->expr) || bodyEnd == nullptr) return false;
    Emit(FLAT_STATEMENT, statement->token);
    const std::size_t registers = RegisterLoop(statement);
    const std::size_t first = Emit(FLAT_JUMP_UNLESS, statement->token, statement->expr);
    const std::uint32_t top = Here();
    if (!LoopBody(statement->body, loop)) return false;
    const std::uint32_t test = Here();
    tests_[statement] = test;
    Patch(Emit(FLAT_JUMP_IF, statement->token, statement->expr), top);
    const std::uint32_t exit = Here();
    Emit(FLAT_POSITION, bodyEnd);
    Patch(first, exit);
    if (registers != SIZE_MAX) Patch(registers, exit);
    for (std::size_t at : loop.breaks) Patch(at, exit);
    for (std::size_t at : loop.continues) Patch(at, test);
    return true;
  }

  // do ... while: a break or continue in the first pass walks the body once
  // more, which only the tree runner follows; such loops run there.
  bool Do(const StmtNode* statement) {
    if (statement->flag || !Inert(statement->expr) || statement->body == nullptr) return false;
    Loop loop;
    Emit(FLAT_STATEMENT, statement->token);
    const std::uint32_t top = Here();
    if (!LoopBody(statement->body, loop)) return false;
    if (!loop.breaks.empty() || !loop.continues.empty()) return false;
    Patch(Emit(FLAT_JUMP_IF, statement->token, statement->expr), top);
    return true;
  }

  bool For(const StmtNode* statement) {
    const StmtNode* step = statement->other;
    const ExprNode* test = statement->test;
    if (statement->forError != 0 || statement->init == nullptr || statement->body == nullptr || !Inert(test) ||
        (step != nullptr && (step->kind != ST_EXPRESSION || step->expr == nullptr || !Inert(step->expr)))) {
      return false;
    }
    Loop loop;
    const Token* bodyEnd = LoopWalkEnd(statement->body, loop);
    if (bodyEnd == nullptr) return false;
    Emit(FLAT_STATEMENT, statement->token);
    const std::size_t registers = RegisterLoop(statement);
    if (!Statement(statement->init)) return false;
    const std::size_t first = test != nullptr ? Emit(FLAT_JUMP_UNLESS, statement->token, test) : SIZE_MAX;
    const std::uint32_t top = Here();
    if (!LoopBody(statement->body, loop)) return false;
    const std::uint32_t stepAt = Here();
    steps_[statement] = stepAt;
    if (step != nullptr) {
      std::size_t at = Emit(test != nullptr ? FLAT_STEP_TEST : FLAT_STEP_JUMP, step->token, step->expr, statement);
      Patch(at, top);
    } else {
      Patch(test != nullptr ? Emit(FLAT_JUMP_IF, statement->token, test) : Emit(FLAT_JUMP), top);
    }
    const std::uint32_t exit = Here();
    Emit(FLAT_POSITION, bodyEnd);
    if (first != SIZE_MAX) Patch(first, exit);
    if (registers != SIZE_MAX) Patch(registers, exit);
    for (std::size_t at : loop.breaks) Patch(at, exit);
    for (std::size_t at : loop.continues) Patch(at, stepAt);
    return true;
  }

  // WalkEnd of a loop's body, where break and continue may stand.
  const Token* LoopWalkEnd(const StmtNode* body, Loop& loop) {
    Loop* outer = loop_;
    loop_ = &loop;
    const Token* end = WalkEnd(body);
    loop_ = outer;
    return end;
  }

  // OPTIMIZATION: the step that runs the loop [statement] in registers,
  // when it can be compiled so; SIZE_MAX when not.
  std::size_t RegisterLoop(const StmtNode* statement) {
    std::unique_ptr<IntLoop> registers = CompileIntLoop(statement);
    if (registers == nullptr) return SIZE_MAX;
    const std::size_t at = Emit(FLAT_INT_LOOP, statement->token);
    code_.ops[at].loop = registers.get();
    code_.loops.push_back(std::move(registers));
    return at;
  }

  FlatCode& code_;
  Loop* loop_ = nullptr;
  std::unordered_map<const StmtNode*, std::size_t> starts_, steps_, tests_;
};

// An expression run for its effect; false when the run stopped.
inline bool RunExpression(CallFrame& frame, const ExprNode* expr) {
  if (expr->quickRun(frame, expr)) return true;
  Operand discarded;
  return EvaluateOperand(frame, expr, discarded);
}

// A for-loop step, as the tree runner runs it: a plain step without the
// statement checks. False when the run stopped.
inline bool RunStep(CallFrame& frame, const FlatOp& op) {
  Context& run = *frame.run;
  if (!op.expr->quickRun(frame, op.expr)) {
    if (BreakRequested) return StopBeforeRunning(frame);
    run.position = op.token;
    Operand discarded;
    if (!Evaluate(frame, op.expr, discarded)) return false;
  }
  run.position = op.token;
  return true;
}

// Whether a step of [code] goes on to a jump target of its own.
bool HasTarget(std::uint8_t code) {
  switch (code) {
    case FLAT_IF: case FLAT_STATEMENT_JUMP: case FLAT_JUMP: case FLAT_JUMP_UNLESS: case FLAT_JUMP_IF:
    case FLAT_STEP_JUMP: case FLAT_STEP_TEST: case FLAT_CLOSE_STEP_JUMP: case FLAT_CLOSE_STEP_TEST:
    case FLAT_INT_LOOP:
      return true;
    default:
      return false;
  }
}

// OPTIMIZATION: fewer steps for the same run. Every step names the one that
// follows it, so plain jumps vanish into the steps that lead to them; a block
// statement or a position met just before a statement starts does nothing
// that statement does not do again at once (the only difference, at which of
// two steps a break request is noticed, cannot be seen), so it goes; and a
// loop body's closing brace joins the step after it.
class Tightener {
 public:
  explicit Tightener(std::vector<FlatOp>& ops) : ops_(ops), forward_(ops.size()) {}

  std::uint32_t Run() {
    const auto count = static_cast<std::uint32_t>(ops_.size());
    for (std::uint32_t i = 0; i < count; ++i) {
      ops_[i].next = i + 1 < count ? i + 1 : i;
      forward_[i] = i;
    }
    for (std::uint32_t i = count; i-- > 0;) Drop(i);
    for (FlatOp& op : ops_) {
      op.next = Follow(op.next);
      if (HasTarget(op.code)) op.target = Follow(op.target);
    }
    return Compact(Follow(0));
  }

  // Where the step [at] of the code before tightening went (Run first).
  std::uint32_t Map(std::size_t at) const { return index_[Follow(static_cast<std::uint32_t>(at))]; }

 private:
  // Marks step [at] as dropped (forward_ names where its work goes on) when
  // it does nothing the step after it does not do. Runs back to front, so
  // the steps after [at] are settled.
  void Drop(std::uint32_t at) {
    FlatOp& op = ops_[at];
    if (op.code == FLAT_JUMP) {
      forward_[at] = op.target;  // (a jump does nothing but lead on)
      return;
    }
    if (op.code != FLAT_STATEMENT && op.code != FLAT_POSITION) return;
    const std::uint32_t after = Follow(op.next);
    FlatOp& next = ops_[after];
    if (StartsStatement(next.code)) {
      forward_[at] = after;
    } else if (op.code == FLAT_STATEMENT && (next.code == FLAT_STEP_JUMP || next.code == FLAT_STEP_TEST) &&
               after == at + 1) {
      // The closing brace joins the step; the step's own position replaces
      // its brace's before anything can name it.
      next.code = next.code == FLAT_STEP_JUMP ? FLAT_CLOSE_STEP_JUMP : FLAT_CLOSE_STEP_TEST;
      forward_[at] = after;
    }
  }

  std::uint32_t Follow(std::uint32_t at) const {
    for (std::size_t guard = 0; forward_[at] != at && guard < ops_.size(); ++guard) at = forward_[at];
    return at;
  }

  // Keeps only the steps still reached, in their order; the entry's index.
  std::uint32_t Compact(std::uint32_t entry) {
    index_.assign(ops_.size(), 0);
    std::vector<FlatOp> kept;
    for (std::uint32_t i = 0; i < ops_.size(); ++i) {
      if (forward_[i] != i) continue;
      index_[i] = static_cast<std::uint32_t>(kept.size());
      kept.push_back(ops_[i]);
    }
    for (FlatOp& op : kept) {
      op.next = index_[op.next];
      if (HasTarget(op.code)) op.target = index_[op.target];
    }
    ops_ = std::move(kept);
    return index_[entry];
  }

  std::vector<FlatOp>& ops_;
  std::vector<std::uint32_t> forward_;
  std::vector<std::uint32_t> index_;
};

}  // namespace

FlatCode::FlatCode() = default;
FlatCode::~FlatCode() = default;

std::unique_ptr<FlatCode> FlattenBody(const StmtNode* body) {
  auto code = std::make_unique<FlatCode>();
  Flattener flattener(*code);
  if (!flattener.Body(body)) return nullptr;
  code->ops.push_back(FlatOp{kFlatEnd, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr});
  // Where each loop run in registers hands back, before tightening.
  std::vector<std::vector<std::size_t>> resumes;
  for (const auto& loop : code->loops) {
    resumes.emplace_back();
    for (const IntResume& resume : loop->resumes) resumes.back().push_back(flattener.StartOf(resume));
  }
  Tightener tightener(code->ops);
  code->entry = tightener.Run();
  code->ops.shrink_to_fit();
  for (FlatOp& op : code->ops) {
    op.nextOp = &code->ops[op.next];
    op.targetOp = &code->ops[op.target];
  }
  for (std::size_t i = 0; i < code->loops.size(); ++i) {
    IntLoop& loop = *code->loops[i];
    for (std::size_t k = 0; k < loop.resumes.size(); ++k) {
      if (resumes[i][k] == SIZE_MAX) return nullptr;  // (cannot happen: every place has its steps)
      loop.resumes[k].at = &code->ops[tightener.Map(resumes[i][k])];
    }
  }
  return code;
}

void RunFlat(CallFrame& frame, const FlatCode& code) {
  Context& run = *frame.run;
  for (const FlatOp* op = &code.ops[code.entry];;) {
    if (StartsStatement(op->code)) {
      // A statement starts; a break request stops the run before it, and
      // a windowed host's messages are handled.
      if ((BreakRequested | PumpRequested) && !Attend(frame)) return;
      run.position = op->token;
    }
    int truth;
    switch (op->code) {
      case FLAT_STATEMENT:
        op = op->nextOp;
        break;
      case FLAT_POSITION:
        run.position = op->token;
        op = op->nextOp;
        break;
      case FLAT_EXPRESSION:
        if (!RunExpression(frame, op->expr)) return;
        op = op->nextOp;
        break;

      case FLAT_STATEMENT_JUMP:
      case FLAT_JUMP:
        op = op->targetOp;
        break;
      case FLAT_RETURN:
        if (op->expr != nullptr && !ReturnInteger(frame, op->expr)) ReturnEvaluated(frame, op->statement);
        return;
      case FLAT_IF:  // (its statement start is done above)
      case FLAT_JUMP_UNLESS:
        if (!ConditionTruth(frame, op->expr, truth)) return;
        op = truth ? op->nextOp : op->targetOp;
        break;
      case FLAT_CLOSE_STEP_JUMP:
      case FLAT_STEP_JUMP:
        if (!RunStep(frame, *op)) return;
        op = op->targetOp;
        break;
      case FLAT_CLOSE_STEP_TEST:
      case FLAT_STEP_TEST:
        if (!RunStep(frame, *op) || !ConditionTruth(frame, op->statement->test, truth)) return;
        op = truth ? op->targetOp : op->nextOp;
        break;
      case FLAT_JUMP_IF:
        if (!ConditionTruth(frame, op->expr, truth)) return;
        op = truth ? op->targetOp : op->nextOp;
        break;
      case FLAT_INT_LOOP:
        if (const FlatOp* next = RunIntLoop(frame, *op->loop, op->targetOp)) {
          op = next;
        } else {
          op = op->nextOp;  // (it could not start: the loop's own steps run it)
        }
        break;
      default:  // the end
        return;
    }
  }
}

}  // namespace kel
