#pragma once
// Walking: passing over code without running it, as the branch not taken, a
// loop's body after a break and the parts a goto's search passes are passed.
// A walk moves the position to each statement it passes, reports the first
// error of form it meets (an error node, a member without a name, break or
// continue where neither is allowed, a do without its while) and notes the
// label a goto searches where it stands. Code the compiler marked inert is
// passed over in one step.

#include <cstdint>

namespace kel {

struct CallFrame;
struct ExprNode;
struct StmtNode;

// Walks [node]; false (with the error reported while the run is running)
// when it holds an error of form.
bool WalkExpression(CallFrame& frame, const ExprNode* node);

// Walks [statement] in [mode]; the status it ends with, as running would
// give it (STATUS_DONE in a mode that runs one statement).
std::uint16_t WalkStatement(CallFrame& frame, const StmtNode* statement, std::uint16_t mode);

// Reports the error node [node] (running or walked); false.
bool ReportErrorNode(CallFrame& frame, const ExprNode* node);

// After a break, the while [loop] is walked once more (its condition, then
// its body in [bodyMode]), as the walk past it goes; STATUS_DONE, or the
// status the run stopped with.
std::uint16_t WalkLoopAfterBreak(CallFrame& frame, const StmtNode* loop, std::uint16_t bodyMode);

// Reports the error statement [statement] (running or walked); the status the
// run stopped with.
std::uint16_t ReportErrorStatement(CallFrame& frame, const StmtNode* statement);

}  // namespace kel
