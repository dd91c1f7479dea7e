#pragma once
// Evaluating expressions and running statements over the parsed form of a
// function.

#include <cstdint>

#include "engine/code.h"

namespace kel {

struct Scalar;
struct Var;
class Operand;
struct CallFrame;
struct ExprNode;
struct StmtNode;
struct Context;

// Status words of the statement walker.
enum StatementStatus : std::uint16_t {
  STATUS_NONE = 0x0000,
  STATUS_ERROR = 0x0001,
  STATUS_EXIT = 0x0002,
  STATUS_RETURN = 0x0100,
  STATUS_GOTO = 0x0200,
  STATUS_BLOCK_END = 0x0400,
  STATUS_DONE = 0x0800,  // also the mode bit: run one statement only
  STATUS_CONTINUE = 0x1000,
  STATUS_BREAK = 0x2000,
};

// The mode a function body runs in: errors, exits, return, goto and the end
// of the body pass; break and continue are not allowed.
constexpr std::uint16_t kBodyMode = STATUS_ERROR | STATUS_EXIT | STATUS_RETURN | STATUS_GOTO | STATUS_BLOCK_END;

// Evaluates [node] into [out]. Returns false when the run stopped.
bool Evaluate(CallFrame& frame, const ExprNode* node, Operand& out);

// Evaluates the call [node] into [out]; false when the run stopped.
bool EvaluateCall(CallFrame& frame, const ExprNode* node, Operand& out);

// Evaluate, with a call (the commonest operand that is no quick value) run
// without the dispatch.
inline bool EvaluateOperand(CallFrame& frame, const ExprNode* node, Operand& out) {
  if (node->kind == EX_CALL) return EvaluateCall(frame, node, out);
  return Evaluate(frame, node, out);
}

// Stores [value] into the variable [target] as "=" does.
bool Store(CallFrame& frame, Var* target, Operand& value);

// The value of the pure expression [node] as a number, read without building
// operands; false when the general path must evaluate it.
bool QuickValue(CallFrame& frame, const ExprNode* node, Scalar& out);

// The truth of [value] (1 or 0); false, with the error raised, when it has
// none (an undefined value, or an array or structure that cannot be tested).
bool OperandTruth(Context& run, const Operand& value, int& truth);

// Orders two values as the language compares them.
int CompareValues(const Operand& left, const Operand& right);

// Runs the statements of [block] from [start] in [mode].
std::uint16_t RunSequence(CallFrame& frame, const StmtNode* block, std::uint32_t start, std::uint16_t mode);

}  // namespace kel
