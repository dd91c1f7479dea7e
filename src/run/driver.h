#pragma once
// The run driver: from the command line to a finished run and its exit code.

#include <cstdint>
#include <string>
#include <string_view>

namespace kel {

class Host;
struct Context;

// RunProgram flags: the mode in the two low bits, and a fresh global scope.
enum RunFlags : unsigned {
  RUN_MODE_FILE = 1,    // the text names a source file (or the bound program)
  RUN_MODE_CODE = 2,    // the text is the code
  RUN_MODE_DECIDE = 3,  // decide from the text
  RUN_MODE_MASK = 3,
  RUN_FRESH_GLOBALS = 0x20,
};

// Runs the process's command line [commandLine] with [host]; returns the exit code.
int RunDriver(std::string_view commandLine, Host* host);

// One run inside [parent]: loads the program named or given by [text] and, when
// [callMain] is set, runs it with main. Stores the run's exit code in
// [exitCode]; returns false when the run stopped on an error.
bool RunProgram(Context& parent, std::string_view text, bool callMain, unsigned flags,
                std::int32_t& exitCode);

}  // namespace kel
