#pragma once
// OPTIMIZATION: the statements of a function as one flat list of steps with
// jumps, run by a single loop instead of the statement runner's descent with
// its status and mode words. Made beside the node tree for the functions
// whose walks can only move the current position (no errors of form, no
// goto or label, no switch, break and continue only inside loop bodies);
// every other function runs on the tree. Expressions still evaluate on the
// tree, through their quick routines first; a loop over integers runs in
// registers when it can (engine/int_loop.h), its steps kept for when not.

#include <cstdint>
#include <memory>
#include <vector>

namespace kel {

struct CallFrame;
struct ExprNode;
struct IntLoop;
struct StmtNode;
struct Token;

enum FlatOpCode : std::uint8_t {
  // A statement starts: the break request is checked and the position set;
  // then, by the kind of statement:
  FLAT_STATEMENT,        // nothing more (a block, an empty statement)
  FLAT_EXPRESSION,       // its expression runs, its value dropped
  FLAT_IF,               // to [target] when its condition is false
  FLAT_STATEMENT_JUMP,   // to [target] (break, continue)
  FLAT_RETURN,
  // A loop body's closing brace, the statement, joined to the step after it:
  FLAT_CLOSE_STEP_JUMP,
  FLAT_CLOSE_STEP_TEST,
  // Steps between statements:
  FLAT_POSITION,         // the position a walk over statements leaves
  FLAT_JUMP,             // (threaded away once the code is made)
  FLAT_JUMP_UNLESS,      // to [target] when the condition is false
  FLAT_JUMP_IF,          // to [target] when the condition is true
  FLAT_STEP_JUMP,        // a for-loop step, then to [target]
  FLAT_STEP_TEST,        // a for-loop step, then to [target] when the loop's test holds
  FLAT_INT_LOOP,         // the loop that follows run in registers when it can, then to
                         // [target] (after the loop) or where it handed back
  // (Loop passes need no stack or break checks of their own here: the body's
  // statements check the break request, and the flat runner does not descend.)
};

// Whether a step of [code] starts with a statement's checks.
constexpr bool StartsStatement(std::uint8_t code) { return code <= FLAT_CLOSE_STEP_TEST; }

struct FlatOp {
  std::uint8_t code;
  std::uint32_t target;  // the step a jump goes to, by its index
  std::uint32_t next;    // the step that follows when no jump is taken
  // The same two steps, by address, once the code is made.
  const FlatOp* targetOp;
  const FlatOp* nextOp;
  const Token* token;
  const ExprNode* expr;
  const StmtNode* statement;
  const IntLoop* loop;  // FLAT_INT_LOOP: its register code (null: none)
};

struct FlatCode {
  FlatCode();
  ~FlatCode();
  std::vector<FlatOp> ops;
  std::uint32_t entry = 0;
  std::vector<std::unique_ptr<IntLoop>> loops;
};

// The flat code of the function body [body], or null when it must run on the tree.
std::unique_ptr<FlatCode> FlattenBody(const StmtNode* body);

// Runs [code] as the body of [frame]'s function.
void RunFlat(CallFrame& frame, const FlatCode& code);

}  // namespace kel
