// Flattening a function body, and running the flat steps. The steps do what
// the statement runner does, in the same order, including where a walk over
// an untaken branch or a finished loop's body leaves the current position
// (which errors raised later without a position of their own name).

#include "engine/flat_code.h"

#include "base/process.h"
#include "engine/calls.h"
#include "engine/code.h"
#include "engine/context.h"
#include "engine/evaluate.h"
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

 private:
  struct Loop {
    std::vector<std::size_t> breaks;
    std::vector<std::size_t> continues;
  };

  std::size_t Emit(std::uint8_t code, const Token* token = nullptr, const ExprNode* expr = nullptr,
                   const StmtNode* statement = nullptr) {
    code_.ops.push_back(FlatOp{code, 0, token, expr, statement});
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
    const std::size_t first = Emit(FLAT_JUMP_UNLESS, statement->token, statement->expr);
    const std::uint32_t top = Here();
    if (!LoopBody(statement->body, loop)) return false;
    const std::uint32_t test = Here();
    Patch(Emit(FLAT_JUMP_IF, statement->token, statement->expr), top);
    const std::uint32_t exit = Here();
    Emit(FLAT_POSITION, bodyEnd);
    Patch(first, exit);
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
    if (!Statement(statement->init)) return false;
    const std::size_t first = test != nullptr ? Emit(FLAT_JUMP_UNLESS, statement->token, test) : SIZE_MAX;
    const std::uint32_t top = Here();
    if (!LoopBody(statement->body, loop)) return false;
    const std::uint32_t stepAt = Here();
    if (step != nullptr) {
      std::size_t at = Emit(test != nullptr ? FLAT_STEP_TEST : FLAT_STEP_JUMP, step->token, step->expr, statement);
      Patch(at, top);
    } else {
      Patch(test != nullptr ? Emit(FLAT_JUMP_IF, statement->token, test) : Emit(FLAT_JUMP), top);
    }
    const std::uint32_t exit = Here();
    Emit(FLAT_POSITION, bodyEnd);
    if (first != SIZE_MAX) Patch(first, exit);
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

  FlatCode& code_;
  Loop* loop_ = nullptr;
};

// An expression run for its effect; false when the run stopped.
inline bool RunExpression(CallFrame& frame, const ExprNode* expr) {
  if (expr->quickRun(frame, expr)) return true;
  Operand discarded;
  return Evaluate(frame, expr, discarded);
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

}  // namespace

std::unique_ptr<FlatCode> FlattenBody(const StmtNode* body) {
  auto code = std::make_unique<FlatCode>();
  Flattener flattener(*code);
  if (!flattener.Body(body)) return nullptr;
  code->ops.push_back(FlatOp{kFlatEnd, 0, nullptr, nullptr, nullptr});
  code->ops.shrink_to_fit();
  return code;
}

void RunFlat(CallFrame& frame, const FlatCode& code) {
  const FlatOp* ops = code.ops.data();
  Context& run = *frame.run;
  for (const FlatOp* op = ops;;) {
    if (op->code <= FLAT_RETURN) {
      // A statement starts; a break request stops the run before it, and
      // a windowed host's messages are handled.
      if ((BreakRequested | PumpRequested) && !Attend(frame)) return;
      run.position = op->token;
    }
    switch (op->code) {
      case FLAT_STATEMENT:
        ++op;
        break;
      case FLAT_POSITION:
        run.position = op->token;
        ++op;
        break;
      case FLAT_EXPRESSION:
        if (!RunExpression(frame, op->expr)) return;
        ++op;
        break;

      case FLAT_STATEMENT_JUMP:
      case FLAT_JUMP:
        op = ops + op->target;
        break;
      case FLAT_RETURN:
        if (!ReturnInteger(frame, op->expr)) ReturnStatement(frame, op->statement);
        return;
      case FLAT_IF:  // (its statement start is done above)
      case FLAT_JUMP_UNLESS: {
        int truth;
        if (!ConditionTruth(frame, op->expr, truth)) return;
        op = truth ? op + 1 : ops + op->target;
        break;
      }
      case FLAT_STEP_JUMP:
      case FLAT_STEP_TEST: {
        if (!RunStep(frame, *op)) return;
        if (op->code == FLAT_STEP_JUMP) {
          op = ops + op->target;
          break;
        }
        int truth;
        if (!ConditionTruth(frame, op->statement->test, truth)) return;
        op = truth ? ops + op->target : op + 1;
        break;
      }
      case FLAT_JUMP_IF: {
        int truth;
        if (!ConditionTruth(frame, op->expr, truth)) return;
        op = truth ? ops + op->target : op + 1;
        break;
      }
      default:  // the end
        return;
    }
  }
}

}  // namespace kel
