#pragma once
// The engine's fast paths (see quick.cpp): reading and writing numbers in
// variables, elements and members without building operands.

#include <cstdint>

#include "engine/calls.h"
#include "engine/code.h"

namespace kel {

// An element of a one-dimensional numeric array inside its span.
struct QuickSlot {
  VarData* data;
  std::int32_t index;
  void* at;
};

// The variable a plain name denotes, when it exists already.
Var* QuickVariable(CallFrame& frame, const ExprNode* node);
// The element an index expression denotes, when it is a number inside its
// array's span (nothing grows).
bool QuickElement(CallFrame& frame, const ExprNode* node, QuickSlot& slot);
// The array a name or an index expression denotes, without growing anything.
bool QuickArray(CallFrame& frame, const ExprNode* node, ArrayRef& out);
Scalar ReadAt(const void* at, int kind);
void WriteAt(void* at, int kind, const Scalar& value);

// The member [node] names in [structure], through the node's cache.
Var* MemberOf(const ExprNode* node, Var* structure, bool create);
// The structure a name or a member denotes, without creating anything.
Var* QuickStructure(CallFrame& frame, const ExprNode* node);

// The value of a plain operand (literal, variable, element) as a number.
bool QuickNumber(CallFrame& frame, const ExprNode* node, Scalar& out);
// The variable or member a plain assignment target denotes.
Var* QuickTarget(CallFrame& frame, const ExprNode* node);

// Adds [step] (1, or all bits set for -1) to [var] when it holds an integer,
// wrapping at 32 bits; [before] receives the old value.
bool StepInt(Var* var, std::uint32_t step, std::int32_t& before);
// [target] = [value] when the target holds an integer and the value is one.
bool AssignInt(CallFrame& frame, Var* target, const ExprNode* value);
// The "=" [node] on an element inside its array's span with a number value;
// [slot] receives the element.
bool AssignElement(CallFrame& frame, const ExprNode* node, QuickSlot& slot);

// x++, x--, ++x, --x on a plain variable holding an integer, in place.
bool QuickIntegerStep(CallFrame& frame, const ExprNode* node, Operand& out);
// x op= y on a plain variable holding an integer, with an integer y.
bool QuickIntegerCompound(CallFrame& frame, const ExprNode* node, Operand& out);
// x op= y on a variable or an existing member holding a number, with a
// number y had without effects; the result takes the variable's kind.
bool QuickNumberCompound(CallFrame& frame, const ExprNode* node, Operand& out);
// [target] = [value] when the target holds a number and the value is one
// had without effects, converted to the target's kind.
bool AssignNumber(CallFrame& frame, Var* target, const ExprNode* value);

// ===================================================================
// Fast forms of the general evaluator's steps (quick_evaluate.cpp; those
// taken after the operands are evaluated in quick_operands.h), tried
// first in a build with fast paths. Each answers false, having changed
// nothing, where the general step must run.
// ===================================================================

// A pure expression's value, read without operands.
bool QuickPure(CallFrame& frame, const ExprNode* node, Operand& out);
// ++x, --x, !x and pure prefix expressions.
bool QuickPrefix(CallFrame& frame, const ExprNode* node, Operand& out);
// x++ and x-- on a plain variable holding an integer.
bool QuickPostfix(CallFrame& frame, const ExprNode* node, Operand& out);
// x op= y on a plain variable holding an integer.
bool QuickCompound(CallFrame& frame, const ExprNode* node, Operand& out);
// "=" into an element or a plain target. True when it did the assignment,
// with [assigned] false when the run stopped in it; false when the general
// path must assign.
bool QuickAssign(CallFrame& frame, const ExprNode* node, Operand& out, bool& assigned);

// Gives [node] its routine for running it for its effect alone.
void ChooseQuickRun(ExprNode* node);
bool NoQuickRun(CallFrame& frame, const ExprNode* node);

}  // namespace kel
