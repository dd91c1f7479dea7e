// Process and file-system functions of the data group: nested runs of Kel
// code, whether the program is bound, file names and directories, the
// environment, and other programs.

#include "library/process.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "base/paths.h"
#include "base/process.h"
#include "engine/calls.h"
#include "engine/context.h"
#include "engine/environment.h"
#include "engine/functions.h"
#include "engine/value.h"
#include "library/arguments.h"
#include "library/tables.h"
#include "platform/directories.h"
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
// Directories
// ===================================================================

struct DirectoryRequest {
  std::int32_t include = 49;  // FATTR_RDONLY | FATTR_SUBDIR | FATTR_ARCHIVE
  std::int32_t require = 0;
  bool recurse = false;
};

struct DirectoryMatch {
  std::string name;  // with the pattern's directory part
  platform::FoundFile file;
};

constexpr std::uint32_t FATTR_SUBDIR = 16;

bool IsDotName(const std::string& name) { return name == "." || name == ".."; }

// The matches of [pattern], then with recursion those of every subdirectory
// of its directory, each before the next. Links and junctions are listed but
// never entered, so no link leads the search round in a cycle.
void CollectMatches(const std::string& pattern, const DirectoryRequest& request, std::vector<DirectoryMatch>& out) {
  const std::string directory(SplitPath(pattern).directory);
  const auto include = static_cast<std::uint32_t>(request.include);
  const auto require = static_cast<std::uint32_t>(request.require);
  for (platform::FoundFile& file : platform::FindFiles(pattern)) {
    if ((file.attributes & FATTR_SUBDIR) != 0 && IsDotName(file.name)) continue;
    if ((file.attributes & ~include) != 0 || (file.attributes & require) != require) continue;
    out.push_back({directory + file.name, std::move(file)});
  }
  if (!request.recurse) return;
  const std::string filePart = pattern.substr(directory.size());
  for (const platform::FoundFile& folder : platform::FindFiles(directory + "*.*")) {
    if ((folder.attributes & FATTR_SUBDIR) == 0 || folder.isLink || IsDotName(folder.name)) continue;
    CollectMatches(directory + folder.name + platform::DirectorySeparator() + filePart, request, out);
  }
}

std::int32_t Saturated(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
}

// The entries as an array of structures: name, attrib, size, and the last
// write as Access, Write and Create.
Var* NewEntryArray(Context& run, const std::vector<DirectoryMatch>& matches) {
  Var* result = NewVar(KEL_STRUCT, 1);
  for (std::size_t i = 0; i < matches.size(); ++i) {
    const DirectoryMatch& match = matches[i];
    Var* entry = ElementRef(result, static_cast<std::int32_t>(i));
    SetMemberString(run, entry, "name", match.name);
    SetMemberInt(run, entry, "attrib", static_cast<std::int32_t>(match.file.attributes));
    // Sizes past the integer range show as its largest value, not a wrapped one.
    SetMemberInt(run, entry, "size", static_cast<std::int32_t>(std::min<std::uint64_t>(match.file.size, INT32_MAX)));
    for (const char* member : {"Access", "Write", "Create"}) {
      SetMemberInt(run, entry, member, Saturated(match.file.writeTime));
    }
    ReleaseVar(entry);
  }
  return result;
}

bool ReadDirectoryRequest(CallFrame& frame, std::string& pattern, DirectoryRequest& request) {
  if (frame.argCount > 0) {
    const char* given = GetString(frame, 0);
    if (given == nullptr) return false;
    pattern = given;
  }
  if (frame.argCount > 1) {
    Var* flag = GetParameter(frame, 1, PARAM_ANY);
    if (flag == nullptr) return false;
    const int truth = TruthValue(*frame.run, flag);
    if (truth < 0) return false;
    request.recurse = truth != 0;
  }
  for (int i = 2; i < frame.argCount; ++i) {
    Var* mask = GetParameter(frame, i, PARAM_WHOLE);
    if (mask == nullptr) return false;
    (i == 2 ? request.include : request.require) = GetInt(mask);
  }
  request.include = (request.include | request.require) & 55;
  request.require &= 55;
  return true;
}

// Directory([pattern [, recursion [, include [, require]]]]): the matching
// entries, or 0 when there are none.
void Process_Directory(CallFrame& frame) {
  std::string pattern;
  DirectoryRequest request;
  if (!ReadDirectoryRequest(frame, pattern, request)) return;
  std::vector<DirectoryMatch> matches;
  CollectMatches(pattern, request, matches);
  if (matches.empty()) {
    ReturnInt(frame, 0);
  } else {
    SetReturn(frame, NewEntryArray(*frame.run, matches), ReturnKind::HANDED_OVER);
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
    {"Directory",     Process_Directory,     0, 4},
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
