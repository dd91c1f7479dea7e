// Process and file-system functions of the data group: nested runs of Kel
// code, whether the program is bound, file names and directories, the
// environment, and other programs.

#include "library/process.h"

#include <cstdio>
#include <string>

#include "base/paths.h"
#include "base/process.h"
#include "engine/calls.h"
#include "engine/context.h"
#include "engine/environment.h"
#include "engine/functions.h"
#include "engine/value.h"
#include "library/arguments.h"
#include "library/tables.h"
#include "platform/paths.h"

namespace kel {

namespace {

NestedRunner nestedRunner = nullptr;

constexpr std::int32_t INTERP_FILE = 1;
constexpr std::int32_t INTERP_TEXT = 2;
constexpr std::int32_t INTERP_NOINHERIT_LOCAL = 4;
constexpr std::int32_t INTERP_LOAD = 8;
constexpr std::int32_t INTERP_NOINHERIT_GLOBAL = 32;

// The script function that called the built-in of [frame], whose locals a
// nested run may see: none for the global code.
CallFrame* LendingCaller(CallFrame& frame) {
  CallFrame* caller = frame.caller;
  if (caller == nullptr || caller->function->kind != FUNCTION_SCRIPT) return nullptr;
  if (caller->function->name == kGlobalInitName) return nullptr;
  return caller;
}

// The absolute form of [written] as FullPath gives it: a trailing separator
// kept where it was written, a root keeping its own; empty when the path
// cannot be formed.
std::string ScriptFullPath(std::string path) {
  const std::size_t limit = platform::MaxPathLength();
  if (path.size() >= limit) return std::string();
  const char separator = platform::DirectorySeparator();
  const bool driveAlone = path.size() == 2 && path[1] == ':' && platform::IsDirectorySeparator(':');
  if (path.empty() || driveAlone) path += '.';
  const bool trailing = path.size() > 1 && path.back() == separator && !platform::IsFileSystemRoot(path);
  if (trailing) path.pop_back();
  std::string full = platform::FullPath(path);
  if (full.empty() || full.size() >= limit) return std::string();
  if (full.size() > 1 && full.back() == separator && !platform::IsFileSystemRoot(full)) full.pop_back();
  if (trailing && !platform::IsFileSystemRoot(full)) full += separator;
  return full;
}


// ===================================================================
// File names
// ===================================================================

// SplitFileName(path): a new structure of the strings dir, name and ext.
void Process_SplitFileName(CallFrame& frame) {
  const char* path = GetString(frame, 0);
  if (path == nullptr) return;
  const PathParts parts = SplitPath(path);
  Var* result = NewVar(KEL_STRUCT);
  SetMemberString(*frame.run, result, "dir", parts.directory);
  SetMemberString(*frame.run, result, "name", parts.name);
  SetMemberString(*frame.run, result, "ext", parts.extension);
  SetReturn(frame, result, ReturnKind::HANDED_OVER);
}

// FullPath(path): the absolute path, or 0 when it cannot be formed.
void Process_FullPath(CallFrame& frame) {
  const char* path = GetString(frame, 0);
  if (path == nullptr) return;
  const std::string full = ScriptFullPath(path);
  if (full.empty()) {
    ReturnInt(frame, 0);
  } else {
    ReturnString(frame, full);
  }
}

// ===================================================================
// Nested runs
// ===================================================================

// Bound(): 1 when the running program is a bound executable.
void Process_Bound(CallFrame& frame) { ReturnInt(frame, ProgramIsBound() ? 1 : 0); }

// Interpret(code [, flags]): runs the code (or the file it names) inside this
// run; the run's exit code, or -1 when it failed. The caller goes on either way.
void Process_Interpret(CallFrame& frame) {
  const char* code = GetString(frame, 0);
  if (code == nullptr) return;
  std::int32_t flags = 0;
  if (frame.argCount > 1) {
    Var* given = GetParameter(frame, 1, PARAM_WHOLE);
    if (given == nullptr) return;
    flags = GetInt(given);
  }
  if ((flags & (INTERP_FILE | INTERP_TEXT)) == 0) flags |= INTERP_FILE | INTERP_TEXT;
  const bool callMain = (flags & INTERP_LOAD) == 0;
  CallFrame* lender = (flags & INTERP_NOINHERIT_LOCAL) != 0 ? nullptr : LendingCaller(frame);
  unsigned runFlags = static_cast<unsigned>(flags) & RUN_MODE_MASK;
  if (flags & INTERP_NOINHERIT_GLOBAL) runFlags |= RUN_FRESH_GLOBALS;
  // The code is copied: the nested run may change the array it came from.
  const std::string text = code;
  std::int32_t exitCode = 0;
  const bool ran = nestedRunner(*frame.run, text, callMain, runFlags, lender, exitCode);
  if (frame.run->runState == RUN_RUNNING) ReturnInt(frame, ran ? exitCode : -1);
}

// ===================================================================
// The rows
// ===================================================================

constexpr LibraryEntry kProcessRows[] = {
    {"Bound",         Process_Bound,         0, 0},
    {"FullPath",      Process_FullPath,      1, 1},
    {"SplitFileName", Process_SplitFileName, 1, 1},
    {"Interpret",     Process_Interpret,     1, 2},
};

}  // namespace

void SetNestedRunner(NestedRunner runner) { nestedRunner = runner; }

void PrepareChildProcess(Context& run) {
  EnvWriteBack(run);
  std::fflush(nullptr);
}

std::span<const LibraryEntry> ProcessRows() { return kProcessRows; }

}  // namespace kel
