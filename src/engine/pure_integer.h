#pragma once
// OPTIMIZATION: calls of pure integer functions run on plain integers.
//
// A pure integer function has no locals and changes nothing: its statements
// are blocks, ifs and returns of a value; its expressions are integer
// constants, its parameters, the integer operators, && || ?: and calls with
// such arguments. Recursive arithmetic (fib, gcd, power) is written this
// way. Its body is compiled a second time, to a short register code over
// plain integers, and a call of it runs that code without frames, operands
// or variables, its callees too.
//
// Nothing such a call does can be seen before it hands back its value, so
// whenever anything is not as this path needs it (a value that is no
// integer, an operation that must report, a callee of another kind, a stack
// nearly used up, a break request or window messages waiting), it gives up
// having changed nothing, and the call runs on the general path from its
// start, which then reports, stops or attends as it always does.

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/register_code.h"

namespace kel {

struct CallFrame;
struct Context;
struct ExprNode;
struct Var;
struct FunctionRecord;
struct StmtNode;

// The register code of a pure integer function: its parameters are its
// first registers.
struct PureCode {
  std::vector<RegisterOp> ops;
  std::uint32_t parameters = 0;  // the parameters it reads: a call passes at least these
  std::uint32_t registers = 0;
};

// The register code of [body], the parsed body of [function], when it is a
// pure integer function; else null.
std::unique_ptr<PureCode> CompilePureInteger(const FunctionRecord& function, const StmtNode* body);

// Runs the call [node] of the script function [function] from [frame] this
// way when it can: true with [out] its value; false, having changed nothing,
// when the general path must make the call.
bool PureIntegerCall(CallFrame& frame, const ExprNode* node, FunctionRecord* function, std::int32_t& out);

// The same for a call of [function] with the [count] variables [args] (a
// built-in calling back, as a sort its compare function), when each holds
// an integer.
bool PureIntegerCallOf(Context& run, FunctionRecord* function, Var** args, std::uint32_t count, std::int32_t& out);

}  // namespace kel
