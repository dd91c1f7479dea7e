// Other programs on Win32: the command processor, and child processes in a
// console of their own.

#include "platform/processes.h"

#include <windows.h>

#include <cstdlib>

namespace kel::platform {

ShellSyntax CommandProcessorSyntax() { return ShellSyntax::Cmd; }

// What CMD.EXE takes on one command line.
std::size_t MaxCommandLength() { return 8191; }

int RunCommand(const std::string& command) { return std::system(command.c_str()); }

namespace {

// [word] as the C runtime's command-line parser reads it back: enclosed in
// quotes when it is empty or holds a blank, tab or quote; a quote inside
// preceded by a backslash, and the backslashes before a quote doubled.
std::string QuotedWord(const std::string& word) {
  if (!word.empty() && word.find_first_of(" \t\"") == std::string::npos) return word;
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : word) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

std::string CommandLine(const ChildProgram& program) {
  std::string line = QuotedWord(program.path);
  for (const std::string& argument : program.arguments) line += " " + QuotedWord(argument);
  return line;
}

// An inheritable duplicate of the standard handle [which], or null.
HANDLE InheritableStandardHandle(DWORD which) {
  HANDLE handle = GetStdHandle(which), copy = nullptr;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
    return nullptr;
  }
  return copy;
}

// Creates the process of [program]; with [passHandles] it gets this
// process's standard handles.
bool Create(const ChildProgram& program, bool passHandles, PROCESS_INFORMATION& info) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  HANDLE handles[3] = {};
  if (passHandles) {
    handles[0] = InheritableStandardHandle(STD_INPUT_HANDLE);
    handles[1] = InheritableStandardHandle(STD_OUTPUT_HANDLE);
    handles[2] = InheritableStandardHandle(STD_ERROR_HANDLE);
    startup.dwFlags |= STARTF_USESTDHANDLES;
    startup.hStdInput = handles[0];
    startup.hStdOutput = handles[1];
    startup.hStdError = handles[2];
  }
  std::string line = CommandLine(program);
  const BOOL created = CreateProcessA(nullptr, line.data(), nullptr, nullptr, passHandles, CREATE_NEW_CONSOLE,
                                      nullptr, nullptr, &startup, &info);
  for (HANDLE handle : handles) {
    if (handle != nullptr) CloseHandle(handle);
  }
  if (!created) return false;
  WaitForInputIdle(info.hProcess, 10000);
  return true;
}

struct WindowSearch {
  DWORD process;
  HWND found;
};

BOOL CALLBACK FindProcessWindow(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->process) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

int RunChildAndWait(const ChildProgram& program) {
  PROCESS_INFORMATION info;
  if (!Create(program, true, info)) return -1;
  while (WaitForSingleObject(info.hProcess, 750) == WAIT_TIMEOUT) {
  }
  DWORD code = 0;
  const bool read = GetExitCodeProcess(info.hProcess, &code) != 0;
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return read ? static_cast<int>(code) : -1;
}

std::int32_t StartChild(const ChildProgram& program) {
  PROCESS_INFORMATION info;
  if (!Create(program, false, info)) return -1;
  WindowSearch search{info.dwProcessId, nullptr};
  for (int step = 0; step < 45 && search.found == nullptr; ++step) {
    if (WaitForSingleObject(info.hProcess, 333) != WAIT_TIMEOUT) break;  // ended: no window to give
    EnumWindows(FindProcessWindow, reinterpret_cast<LPARAM>(&search));
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  // Window handles carry 32 significant bits on 64-bit Windows too.
  return static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(search.found));
}

}  // namespace kel::platform
