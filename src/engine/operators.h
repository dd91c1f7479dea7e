#pragma once
// The operator table: operand rules and the routines of the binary and
// prefix operators, on operands that are variables or scalar temporaries.

#include <cstdint>

namespace kel {

class Operand;
struct Context;
struct ExprNode;

// Checks [left] (binary operators only) and [right] against the rules of
// operator [code]; raises the first violation and returns false.
bool CheckOperands(Context& run, std::uint16_t code, const Operand* left, const Operand& right);

// The plain binary operator [code] (for a compound assignment, its plain
// form) applied to checked operands; the result is a temporary.
bool ApplyBinary(Context& run, std::uint16_t code, const Operand& left, const Operand& right, Operand& out);

// The prefix operators ! ~ + - on a checked operand.
bool ApplyPrefix(Context& run, std::uint16_t code, const Operand& operand, Operand& out);

// The plain operator of a compound assignment code ("+=" gives "+").
std::uint16_t PlainOperator(std::uint16_t compound);

}  // namespace kel
