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
// OPTIMIZATION: threaded: each step goes to the next one's code through a
// jump of its own, which the processor learns step by step (through one
// switch, every step would share a single jump that it keeps mispredicting).
// (Code that takes the address of its labels cannot be inlined.)
template <typename Own>
[[gnu::noinline]] const RegisterOp* RunRegisters(const RegisterOp* ops, std::int32_t* r, Own& own) {
  static const void* const kStep[] = {
      &&Constant, &&Move, &&Binary, &&BinaryK,
      &&Add, &&AddK, &&Sub, &&SubK, &&Mul, &&MulK,
      &&Eq, &&EqK, &&Ne, &&NeK, &&Lt, &&LtK, &&Le, &&LeK, &&Gt, &&GtK, &&Ge, &&GeK,
      &&DivK, &&ModK, &&Prefix, &&Truth,
      &&Jump, &&JumpZero, &&JumpNonzero,
      &&JumpEq, &&JumpEqK, &&JumpNe, &&JumpNeK, &&JumpLt, &&JumpLtK,
      &&JumpLe, &&JumpLeK, &&JumpGt, &&JumpGtK, &&JumpGe, &&JumpGeK,
      &&Call, &&Stop, &&Stop,
      &&Element1, &&Element2, &&Store1, &&Store2, &&Check, &&Defined, &&Stop};
  static_assert(sizeof kStep / sizeof kStep[0] == REG_EXIT + 1, "a step for every code");
  const RegisterOp* op = ops;
#define KEL_NEXT_STEP goto* kStep[(++op)->code]
#define KEL_JUMP_IF(condition)          \
  if (condition) {                      \
    op = ops + op->target;              \
    goto* kStep[op->code];              \
  }                                     \
  KEL_NEXT_STEP
#define KEL_OWN_STEP(step) \
  if (!own.step(op, r)) return op; \
  KEL_NEXT_STEP
  goto* kStep[op->code];
Constant: r[op->a] = op->k; KEL_NEXT_STEP;
Move: r[op->a] = r[op->b]; KEL_NEXT_STEP;
Binary:
  if (!IntegerBinary(op->op, r[op->b], r[op->c], r[op->a])) return op;
  KEL_NEXT_STEP;
BinaryK:
  if (!IntegerBinary(op->op, r[op->b], op->k, r[op->a])) return op;
  KEL_NEXT_STEP;
Add: IntegerOperator<TOK_ADD>(r[op->b], r[op->c], r[op->a]); KEL_NEXT_STEP;
AddK: IntegerOperator<TOK_ADD>(r[op->b], op->k, r[op->a]); KEL_NEXT_STEP;
Sub: IntegerOperator<TOK_SUB>(r[op->b], r[op->c], r[op->a]); KEL_NEXT_STEP;
SubK: IntegerOperator<TOK_SUB>(r[op->b], op->k, r[op->a]); KEL_NEXT_STEP;
Mul: IntegerOperator<TOK_MUL>(r[op->b], r[op->c], r[op->a]); KEL_NEXT_STEP;
MulK: IntegerOperator<TOK_MUL>(r[op->b], op->k, r[op->a]); KEL_NEXT_STEP;
Eq: r[op->a] = r[op->b] == r[op->c]; KEL_NEXT_STEP;
EqK: r[op->a] = r[op->b] == op->k; KEL_NEXT_STEP;
Ne: r[op->a] = r[op->b] != r[op->c]; KEL_NEXT_STEP;
NeK: r[op->a] = r[op->b] != op->k; KEL_NEXT_STEP;
Lt: r[op->a] = r[op->b] < r[op->c]; KEL_NEXT_STEP;
LtK: r[op->a] = r[op->b] < op->k; KEL_NEXT_STEP;
Le: r[op->a] = r[op->b] <= r[op->c]; KEL_NEXT_STEP;
LeK: r[op->a] = r[op->b] <= op->k; KEL_NEXT_STEP;
Gt: r[op->a] = r[op->b] > r[op->c]; KEL_NEXT_STEP;
GtK: r[op->a] = r[op->b] > op->k; KEL_NEXT_STEP;
Ge: r[op->a] = r[op->b] >= r[op->c]; KEL_NEXT_STEP;
GeK: r[op->a] = r[op->b] >= op->k; KEL_NEXT_STEP;
DivK: r[op->a] = IntegerArithmetic(TOK_DIV, r[op->b], op->k); KEL_NEXT_STEP;
ModK: r[op->a] = IntegerArithmetic(TOK_MOD, r[op->b], op->k); KEL_NEXT_STEP;
Prefix: r[op->a] = IntegerPrefix(op->op, r[op->b]); KEL_NEXT_STEP;
Truth: r[op->a] = r[op->b] != 0; KEL_NEXT_STEP;
Jump: KEL_JUMP_IF(true);
JumpZero: KEL_JUMP_IF(r[op->b] == 0);
JumpNonzero: KEL_JUMP_IF(r[op->b] != 0);
JumpEq: KEL_JUMP_IF(r[op->b] == r[op->c]);
JumpEqK: KEL_JUMP_IF(r[op->b] == op->k);
JumpNe: KEL_JUMP_IF(r[op->b] != r[op->c]);
JumpNeK: KEL_JUMP_IF(r[op->b] != op->k);
JumpLt: KEL_JUMP_IF(r[op->b] < r[op->c]);
JumpLtK: KEL_JUMP_IF(r[op->b] < op->k);
JumpLe: KEL_JUMP_IF(r[op->b] <= r[op->c]);
JumpLeK: KEL_JUMP_IF(r[op->b] <= op->k);
JumpGt: KEL_JUMP_IF(r[op->b] > r[op->c]);
JumpGtK: KEL_JUMP_IF(r[op->b] > op->k);
JumpGe: KEL_JUMP_IF(r[op->b] >= r[op->c]);
JumpGeK: KEL_JUMP_IF(r[op->b] >= op->k);
Call: KEL_OWN_STEP(Call);
Element1: KEL_OWN_STEP(Element1);
Element2: KEL_OWN_STEP(Element2);
Store1: KEL_OWN_STEP(Store1);
Store2: KEL_OWN_STEP(Store2);
Check: KEL_OWN_STEP(Check);
Defined: own.Defined(op); KEL_NEXT_STEP;
Stop: return op;  // REG_RETURN, REG_END, REG_EXIT
#undef KEL_OWN_STEP
#undef KEL_JUMP_IF
#undef KEL_NEXT_STEP
}

}  // namespace kel
