#pragma once
// OPTIMIZATION: register code over plain integers, for the paths that run
// integer work without operands or variables: calls of pure integer
// functions (engine/pure_integer.h) and loops over integer locals
// (engine/int_loop.h). A compiler turns expression trees into steps over
// numbered registers; a runner runs the steps, the steps of its own path
// (calls, elements, checks) done by its owner.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/quick_int.h"

namespace kel {

struct ExprNode;
struct StmtNode;

enum RegisterCode : std::uint8_t {
  REG_CONSTANT,      // a = k
  REG_MOVE,          // a = b
  REG_BINARY,        // a = b op c, which may fail (an operation that must report)
  REG_BINARY_K,      // a = b op k, which may fail
  // The commonest operators, which cannot fail, as steps of their own (each
  // with its constant form next):
  REG_ADD, REG_ADD_K, REG_SUB, REG_SUB_K, REG_MUL, REG_MUL_K,
  REG_EQ, REG_EQ_K, REG_NE, REG_NE_K, REG_LT, REG_LT_K,
  REG_LE, REG_LE_K, REG_GT, REG_GT_K, REG_GE, REG_GE_K,
  REG_DIV_K, REG_MOD_K,  // by a constant other than 0
  REG_PREFIX,        // a = op b
  REG_TRUTH,         // a = b != 0
  REG_JUMP,          // to [target]
  REG_JUMP_ZERO,     // to [target] when b == 0
  REG_JUMP_NONZERO,  // to [target] when b != 0
  // A comparison and its jump as one step: to [target] when b op c (or k).
  REG_JUMP_EQ, REG_JUMP_EQ_K, REG_JUMP_NE, REG_JUMP_NE_K, REG_JUMP_LT, REG_JUMP_LT_K,
  REG_JUMP_LE, REG_JUMP_LE_K, REG_JUMP_GT, REG_JUMP_GT_K, REG_JUMP_GE, REG_JUMP_GE_K,
  // Pure integer functions:
  REG_CALL,          // a = the callee of [node], with k arguments from b on
  REG_RETURN,        // the value b
  REG_END,           // the body ended without a return
  // Loops:
  REG_ELEMENT1,      // a = local k [b]
  REG_ELEMENT2,      // a = local k [b][c]
  REG_STORE1,        // local k [b] = a
  REG_STORE2,        // local k [b][c] = a
  REG_CHECK,         // a pass of a loop: break requests and window messages
  REG_DEFINED,       // the local kept in register a has a value now
  REG_EXIT,          // the loop is over
};

struct RegisterOp {
  std::uint8_t code;
  std::uint8_t a, b, c;
  std::uint16_t op;      // the operator's token code
  std::uint16_t resume;  // loops: where the flat steps go on when this step fails
  std::int32_t k;
  std::int32_t target;   // a jump's step
  const ExprNode* node;  // a call's node
};

// A code uses at most this many registers.
constexpr std::uint32_t kMaxRegisters = 255;

// Compiling expressions to register code; what is kept in registers and the
// forms beyond the common ones are the path's own. An expression deeper than
// the quick paths read is left to the general path.
class RegisterCompiler {
 public:
  virtual ~RegisterCompiler() = default;

  std::vector<RegisterOp> ops;
  std::uint32_t registers = 0;

 protected:
  // The register of [node] when the path keeps its value in one (a
  // parameter, a local); false for any other node.
  virtual bool Held(const ExprNode* node, std::uint32_t& at) = 0;
  // The code that leaves the value of [node], of a form beyond the common
  // ones, in [target]; false when the path has none.
  virtual bool Other(const ExprNode* node, int depth, std::uint32_t target) = 0;
  // The code of [statement], of the forms the path runs.
  virtual bool Statement(const StmtNode* statement) = 0;

  // The code of the if statement [statement]: its condition's jump, then
  // its branches.
  bool If(const StmtNode* statement);

  std::size_t Emit(std::uint8_t code, std::uint32_t a = 0, std::uint32_t b = 0, std::uint32_t c = 0,
                   std::int32_t k = 0, std::uint16_t op = 0, const ExprNode* node = nullptr);
  std::int32_t Here() const { return static_cast<std::int32_t>(ops.size()); }
  // Makes the jump [at] go to the next step emitted (or to [target]).
  void Patch(std::size_t at) { ops[at].target = Here(); }
  void PatchTo(std::size_t at, std::int32_t target) { ops[at].target = target; }
  // A register of its own for a value computed now; registers from [mark]
  // on are free again after Release(mark).
  std::uint32_t Temporary();
  std::uint32_t Mark() const { return next_; }
  void Release(std::uint32_t mark) { next_ = mark; }
  void StartTemporaries(std::uint32_t first) { next_ = first; }
  // Whether every step fits (at most kMaxRegisters registers).
  bool Fits() const { return fits_ && registers <= kMaxRegisters; }

  // The register that holds the value of [node] once its code has run.
  bool Operand(const ExprNode* node, int depth, std::uint32_t& at);
  // The code that leaves the value of [node] in [target].
  bool Expression(const ExprNode* node, int depth, std::uint32_t target);
  // The code that jumps (from the step [at], to be patched) when the truth
  // of [condition] is [when], and goes on otherwise.
  bool Branch(const ExprNode* condition, int depth, bool when, std::size_t& at);
  // Whether [node] is an integer constant.
  static bool IsConstant(const ExprNode* node);
  // The step for the operator [op] on a register and [constant] (a constant
  // operand, when not null): one of its own, or REG_BINARY(_K).
  static std::uint8_t BinaryCode(std::uint16_t op, const ExprNode* constant);

  std::uint16_t resume_ = 0;  // stamped on the steps emitted

 private:
  bool Binary(const ExprNode* node, int depth, std::uint32_t target);
  bool Logical(const ExprNode* node, int depth, std::uint32_t target);
  bool Conditional(const ExprNode* node, int depth, std::uint32_t target);
  std::uint8_t Register(std::uint32_t at);

  std::uint32_t next_ = 0;
  bool fits_ = true;
};

// Runs register code from [ops] over the registers [r]; the steps of the
// path's own are [own]'s: Call, Element1, Element2, Store1, Store2, Check and
// Defined, each (but Defined) false when the step fails. The step it stopped at: a
// REG_RETURN, REG_END or REG_EXIT, or a step that failed.
template <typename Own>
[[gnu::always_inline]] inline const RegisterOp* RunRegisters(const RegisterOp* ops, std::int32_t* r, Own& own) {
  for (const RegisterOp* op = ops;; ++op) {
    switch (op->code) {
      case REG_CONSTANT: r[op->a] = op->k; break;
      case REG_MOVE: r[op->a] = r[op->b]; break;
      case REG_BINARY:
        if (!IntegerBinary(op->op, r[op->b], r[op->c], r[op->a])) return op;
        break;
      case REG_BINARY_K:
        if (!IntegerBinary(op->op, r[op->b], op->k, r[op->a])) return op;
        break;
      case REG_ADD: IntegerOperator<TOK_ADD>(r[op->b], r[op->c], r[op->a]); break;
      case REG_ADD_K: IntegerOperator<TOK_ADD>(r[op->b], op->k, r[op->a]); break;
      case REG_SUB: IntegerOperator<TOK_SUB>(r[op->b], r[op->c], r[op->a]); break;
      case REG_SUB_K: IntegerOperator<TOK_SUB>(r[op->b], op->k, r[op->a]); break;
      case REG_MUL: IntegerOperator<TOK_MUL>(r[op->b], r[op->c], r[op->a]); break;
      case REG_MUL_K: IntegerOperator<TOK_MUL>(r[op->b], op->k, r[op->a]); break;
      case REG_EQ: r[op->a] = r[op->b] == r[op->c]; break;
      case REG_EQ_K: r[op->a] = r[op->b] == op->k; break;
      case REG_NE: r[op->a] = r[op->b] != r[op->c]; break;
      case REG_NE_K: r[op->a] = r[op->b] != op->k; break;
      case REG_LT: r[op->a] = r[op->b] < r[op->c]; break;
      case REG_LT_K: r[op->a] = r[op->b] < op->k; break;
      case REG_LE: r[op->a] = r[op->b] <= r[op->c]; break;
      case REG_LE_K: r[op->a] = r[op->b] <= op->k; break;
      case REG_GT: r[op->a] = r[op->b] > r[op->c]; break;
      case REG_GT_K: r[op->a] = r[op->b] > op->k; break;
      case REG_GE: r[op->a] = r[op->b] >= r[op->c]; break;
      case REG_GE_K: r[op->a] = r[op->b] >= op->k; break;
      case REG_DIV_K: r[op->a] = IntegerArithmetic(TOK_DIV, r[op->b], op->k); break;
      case REG_MOD_K: r[op->a] = IntegerArithmetic(TOK_MOD, r[op->b], op->k); break;
      case REG_PREFIX: r[op->a] = IntegerPrefix(op->op, r[op->b]); break;
      case REG_TRUTH: r[op->a] = r[op->b] != 0; break;
      case REG_JUMP: op = ops + op->target - 1; break;
      case REG_JUMP_ZERO:
        if (r[op->b] == 0) op = ops + op->target - 1;
        break;
      case REG_JUMP_NONZERO:
        if (r[op->b] != 0) op = ops + op->target - 1;
        break;
      case REG_JUMP_EQ: if (r[op->b] == r[op->c]) op = ops + op->target - 1; break;
      case REG_JUMP_EQ_K: if (r[op->b] == op->k) op = ops + op->target - 1; break;
      case REG_JUMP_NE: if (r[op->b] != r[op->c]) op = ops + op->target - 1; break;
      case REG_JUMP_NE_K: if (r[op->b] != op->k) op = ops + op->target - 1; break;
      case REG_JUMP_LT: if (r[op->b] < r[op->c]) op = ops + op->target - 1; break;
      case REG_JUMP_LT_K: if (r[op->b] < op->k) op = ops + op->target - 1; break;
      case REG_JUMP_LE: if (r[op->b] <= r[op->c]) op = ops + op->target - 1; break;
      case REG_JUMP_LE_K: if (r[op->b] <= op->k) op = ops + op->target - 1; break;
      case REG_JUMP_GT: if (r[op->b] > r[op->c]) op = ops + op->target - 1; break;
      case REG_JUMP_GT_K: if (r[op->b] > op->k) op = ops + op->target - 1; break;
      case REG_JUMP_GE: if (r[op->b] >= r[op->c]) op = ops + op->target - 1; break;
      case REG_JUMP_GE_K: if (r[op->b] >= op->k) op = ops + op->target - 1; break;
      case REG_CALL:
        if (!own.Call(op, r)) return op;
        break;
      case REG_ELEMENT1:
        if (!own.Element1(op, r)) return op;
        break;
      case REG_ELEMENT2:
        if (!own.Element2(op, r)) return op;
        break;
      case REG_STORE1:
        if (!own.Store1(op, r)) return op;
        break;
      case REG_STORE2:
        if (!own.Store2(op, r)) return op;
        break;
      case REG_CHECK:
        if (!own.Check(op, r)) return op;
        break;
      case REG_DEFINED: own.Defined(op); break;
      default: return op;  // REG_RETURN, REG_END, REG_EXIT
    }
  }
}

}  // namespace kel
