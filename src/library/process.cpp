// Process and file-system functions of the data group: nested runs of Kel
// code, whether the program is bound, file names and directories, the
// environment, and other programs.

#include "library/process.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/paths.h"
#include "base/process.h"
#include "engine/calls.h"
#include "engine/context.h"
#include "engine/environment.h"
#include "engine/functions.h"
#include "engine/messages.h"
#include "engine/value.h"
#include "front/command_search.h"
#include "library/arguments.h"
#include "library/streams.h"
#include "library/tables.h"
#include "platform/directories.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/processes.h"

namespace kel {

namespace {

NestedRunner nestedRunner = nullptr;

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
// Other programs
// ===================================================================

}  // namespace

bool ValueText(Var* value, std::string& text) {
  if (Arrayness(value) == 1 && KindOf(value) == KEL_BYTE) {
    if (ResolveArray(value).data->payload.elements == nullptr) return false;
    const Buffer buffer = BufferOf(value);
    const void* end = std::memchr(buffer.bytes, 0, buffer.length);
    text.assign(reinterpret_cast<const char*>(buffer.bytes),
                end != nullptr ? static_cast<const std::uint8_t*>(end) - buffer.bytes : buffer.length);
    return true;
  }
  if (Arrayness(value) != 0) return false;
  switch (KindOf(value)) {
    case KEL_INT:
    case KEL_FLOAT: text = NumberText(GetScalar(value)); return true;
    case KEL_BYTE: {
      const std::uint8_t byte = GetByte(value);
      text.assign(1, static_cast<char>(byte));
      return byte != 0;
    }
    default: return false;
  }
}

namespace {

bool AddEntry(CallFrame& frame, Var* value, int position, std::vector<std::string>& entries) {
  std::string text;
  if (!ValueText(value, text)) return RaiseErrorIfRunning(*frame.run, MSG_5114, position);
  entries.push_back(std::move(text));
  return true;
}

// True when element [index] of [array] ends an entry list: a number 0, or a
// row never made.
bool EndsEntries(Var* array, std::int32_t index) {
  ArrayRef at = ResolveArray(array);
  const auto element = static_cast<std::int32_t>(static_cast<std::uint32_t>(at.origin) + static_cast<std::uint32_t>(index));
  if (IndexOffset(element, at.data->minIndex) >= at.data->elemCount) return true;
  if (at.data->dimension > 1) return static_cast<const RowSlot*>(ElementPointer(at.data, element))->row == nullptr;
  Var* value = NewVarOn(at.data, element, VAR_ELEMENT);
  const bool zero = IsZeroNumber(value);
  ReleaseVar(value);
  return zero;
}

// The entries after the command: the further arguments, or the elements of
// an array given as the only one.
bool CollectSpawnEntries(CallFrame& frame, std::vector<std::string>& entries) {
  Var* third = frame.argCount == 3 ? frame.args[2] : nullptr;
  if (third != nullptr && Arrayness(third) > 0 && !(Arrayness(third) == 1 && KindOf(third) == KEL_BYTE)) {
    if (ResolveArray(third).data->payload.elements == nullptr) return true;
    for (std::int32_t i = 0; !EndsEntries(third, i); ++i) {
      Var* element = ElementRef(third, i);
      const bool added = AddEntry(frame, element, i + 1, entries);
      ReleaseVar(element);
      if (!added) return false;
    }
    return true;
  }
  for (int i = 2; i < frame.argCount; ++i) {
    if (!AddEntry(frame, frame.args[i], i - 1, entries)) return false;
  }
  return true;
}

// spawn(mode, command [, arguments...]): runs a program (a Kel script inside
// this interpreter); with P_WAIT its exit code, otherwise its window (Win32)
// or process id (POSIX); -1 when it cannot be started.
void Process_spawn(CallFrame& frame) {
  std::int32_t mode;
  if (!GetInteger(frame, 0, mode)) return;
  if (mode < 0 || mode > 2) {
    RaiseErrorIfRunning(*frame.run, MSG_5113, mode);
    return;
  }
  const char* command = GetString(frame, 1);
  if (command == nullptr) return;
  std::vector<std::string> entries;
  if (frame.argCount == 2) {
    entries = SplitCommandWords(command);
  } else {
    entries.emplace_back(command);
    if (!CollectSpawnEntries(frame, entries)) return;
  }
  if (entries.empty()) entries.emplace_back();
  PrepareChildProcess(*frame.run);
  platform::ChildProgram program{FindCommand(*frame.run, entries[0]).value_or(entries[0]),
                                 std::vector<std::string>(entries.begin() + 1, entries.end())};
  if (IsKelScript(program.path)) {
    std::vector<std::string> words = {program.path};
    words.insert(words.end(), program.arguments.begin(), program.arguments.end());
    std::int32_t exitCode = 0;
    nestedRunner(*frame.run, program.path, true, RUN_MODE_FILE | RUN_FRESH_GLOBALS, nullptr, exitCode, &words);
    if (frame.run->runState == RUN_RUNNING) ReturnInt(frame, exitCode);
    return;
  }
  if (mode != P_WAIT) {
    ReturnInt(frame, platform::StartChild(program));
    return;
  }
  // The child shares the script's redirected output, so what both write
  // lands in order; it reads redirected input from the start of the file,
  // and the script reads on from where the child stopped.
  const bool input = StandardInputRedirected(*frame.run);
  if (input) platform::RewindStandardInput();
  const int status = platform::RunChildAndWait(program);
  if (input) platform::FollowStandardInput();
  ReturnInt(frame, status);
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
  const bool ran = nestedRunner(*frame.run, text, callMain, runFlags, lender, exitCode, nullptr);
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
    {"spawn",         Process_spawn,         2, ARGS_ANY},
    {"Interpret",     Process_Interpret,     1, 2},
};

}  // namespace

void SetNestedRunner(NestedRunner runner) { nestedRunner = runner; }

std::vector<std::string> SplitCommandWords(std::string_view text) {
  std::vector<std::string> words;
  std::size_t at = 0;
  auto skipBlanks = [&] {
    while (at < text.size() && std::string_view(" \t\n\r").find(text[at]) != std::string_view::npos) ++at;
  };
  skipBlanks();
  while (at < text.size()) {
    std::string word;
    bool quoted = false;
    for (; at < text.size() && (quoted || text[at] != ' '); ++at) {
      if (text[at] == '"') {
        quoted = !quoted;
      } else {
        word += text[at];
      }
    }
    words.push_back(std::move(word));
    skipBlanks();
  }
  return words;
}


void PrepareChildProcess(Context& run) {
  EnvWriteBack(run);
  std::fflush(nullptr);
}

std::span<const LibraryEntry> ProcessRows() { return kProcessRows; }

}  // namespace kel
