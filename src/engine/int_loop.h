#pragma once
// OPTIMIZATION: loops over integers run in registers.
//
// A for or while loop whose every part works on integers (assignments,
// compound assignments and ++ -- of locals, assignments to elements of local
// integer arrays, ifs, nested loops, break and continue; expressions of
// integer constants, locals, parameters, elements and the integer operators)
// is compiled a second time, to register code in which its locals are plain
// integers. The loop's flat steps stay as they are, and the loop runs there
// when it cannot run in registers.
//
// It starts when every local it keeps is an integer (or not yet defined,
// when the loop sets it before reading it). Nothing outside the loop can see
// its locals while it runs, so they are written back only when it ends or
// hands back: before a statement whose work it cannot do (an element outside
// its array's span, a division by 0, ...), which the flat steps then run and
// report as they always do, and on a break request.

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/register_code.h"

namespace kel {

struct CallFrame;
struct FlatOp;
struct StmtNode;

// A place where the flat steps go on when the loop hands back: the steps of
// a statement, of a for loop's step or of a while loop's test.
struct IntResume {
  enum Kind : std::uint8_t { STATEMENT, STEP, TEST };
  Kind kind;
  const StmtNode* statement;   // the statement, or the loop of the step or test
  const FlatOp* at = nullptr;  // once the flat code is made
};

// A local the loop keeps in a register.
struct IntLocal {
  std::int32_t slot;
  std::uint8_t reg;
  bool written;
  bool mayBeUndefined;  // every read of it follows a for loop's first statement that sets it
};

// A parameter the loop reads, in a register.
struct IntParameter {
  std::int32_t slot;
  std::uint8_t reg;
};

struct IntLoop {
  std::vector<RegisterOp> ops;
  std::vector<IntLocal> locals;
  std::vector<IntParameter> parameters;
  std::vector<IntResume> resumes;
  std::uint32_t registers = 0;
};

// At most this many locals are kept in registers.
constexpr std::uint32_t kIntLoopLocals = 64;

// The register code of the for or while loop [loop], when all of it runs
// that way; else null.
std::unique_ptr<IntLoop> CompileIntLoop(const StmtNode* loop);

// Runs [loop] in registers in [frame]. The flat step to go on with: [exit]
// when the loop ended, the step where it handed back, or null when it could
// not start (its flat steps run it then).
const FlatOp* RunIntLoop(CallFrame& frame, const IntLoop& loop, const FlatOp* exit);

}  // namespace kel
