#pragma once
// The process and file-system built-ins of the data group (file names,
// directories, environment, programs, nested runs), and how they reach the
// run driver, which lives above the library.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kel {

struct CallFrame;
struct Context;
struct LibraryEntry;
struct Var;

// RunProgram flags: the mode in the two low bits, a fresh global scope, and
// the bound program.
enum RunFlags : unsigned {
  RUN_MODE_FILE = 1,    // the text names a source file (or the bound program)
  RUN_MODE_CODE = 2,    // the text is the code
  RUN_MODE_DECIDE = 3,  // decide from the text
  RUN_MODE_MASK = 3,
  RUN_FRESH_GLOBALS = 0x20,
  RUN_BOUND = 0x40,  // the driver's run of a bound executable: its own program
};

// Interpret's flags and spawn's modes, as scripts name them.
enum InterpretFlags : std::int32_t {
  INTERP_FILE = 1,
  INTERP_TEXT = 2,
  INTERP_NOINHERIT_LOCAL = 4,
  INTERP_LOAD = 8,
  INTERP_NOINHERIT_GLOBAL = 32,
};
enum SpawnModes : std::int32_t { P_WAIT = 0, P_NOWAIT = 1, P_OVERLAY = 2 };

// The run driver's RunProgram, which the driver hands over before any run.
// [words], when given, are a file run's words already separated (spawn of a
// script), which [text] then only names.
using NestedRunner = bool (*)(Context& parent, std::string_view text, bool callMain, unsigned flags,
                              CallFrame* callerFrame, std::int32_t& exitCode,
                              const std::vector<std::string>* words);
void SetNestedRunner(NestedRunner runner);

// Before another program runs (system, spawn): the script's environment
// variables are written back to the process environment and every C stream
// is flushed, so the program sees both.
void PrepareChildProcess(Context& run);

// The words of one command text: blanks separate them, and a double-quoted
// stretch belongs to its word. The quotes only group: each word is what the
// program receives.
std::vector<std::string> SplitCommandWords(std::string_view text);

// The text of a value as a command word: a string's bytes, a number's
// decimal form ("%f" for a float), a byte's character. False for anything
// else (structures, undefined values, deeper arrays, the byte 0).
bool ValueText(Var* value, std::string& text);

// The group's rows for these functions.
std::span<const LibraryEntry> ProcessRows();

}  // namespace kel
