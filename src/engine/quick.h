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

// x++, x--, ++x, --x on a plain variable holding an integer, in place.
bool QuickIntegerStep(CallFrame& frame, const ExprNode* node, Operand& out);
// x op= y on a plain variable holding an integer, with an integer y.
bool QuickIntegerCompound(CallFrame& frame, const ExprNode* node, Operand& out);

// Gives [node] its routine for running it for its effect alone.
void ChooseQuickRun(ExprNode* node);
bool NoQuickRun(CallFrame& frame, const ExprNode* node);

}  // namespace kel
