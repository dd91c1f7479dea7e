#pragma once
// The run driver: from the command line to a finished run and its exit code.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "library/process.h"

namespace kel {

class Host;
struct CallFrame;
struct Context;

// Runs the process's command line [commandLine] with [host]; returns the exit code.
int RunDriver(std::string_view commandLine, Host* host);

// One run inside [parent]: loads the program named or given by [text] and, when
// [callMain] is set, runs it with main. With [callerFrame] (Interpret from a
// script function) the run's global code sees that function's locals. Stores
// the run's exit code in [exitCode]; returns false when the run stopped on an
// error. [words], when given, are a file run's words already separated.
bool RunProgram(Context& parent, std::string_view text, bool callMain, unsigned flags,
                CallFrame* callerFrame, std::int32_t& exitCode,
                const std::vector<std::string>* words = nullptr);

}  // namespace kel
