// Process-level services on Win32.

#include "platform/system.h"

#include <conio.h>
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace kel::platform {

std::uintptr_t g_stackLimit = 0;

bool IsWindowsNT() { return (GetVersion() & 0x80000000u) == 0; }

// The program name is skipped up to its closing quote when it is quoted (a path
// with a blank in it), otherwise up to the first blank.
std::string ProgramCommandTail(int, char**) {
  const char* line = GetCommandLineA();
  if (line == nullptr) return {};
  const char* rest;
  if (*line == '"') {
    rest = std::strchr(line + 1, '"');
    rest = rest ? rest + 1 : line + std::strlen(line);
  } else {
    rest = std::strchr(line, ' ');
    rest = rest ? rest + 1 : line + std::strlen(line);
  }
  return rest;
}

namespace {

// Room kept below the guard's limit for the C library and for the guard pages
// that Windows keeps at the end of a thread's stack reservation.
constexpr std::size_t kStackReserve = 256 * 1024;

}  // namespace

// The interpreter runs on the main thread, whose stack reservation the linker
// sets; window messages of the windowed host must be served on the thread that
// made the windows.
int RunOnLargeStack(std::size_t, int (*body)(void*), void* argument) {
  MEMORY_BASIC_INFORMATION region{};
  volatile int onThisStack = 0;
  if (VirtualQuery(const_cast<int*>(&onThisStack), &region, sizeof region) != 0) {
    g_stackLimit = reinterpret_cast<std::uintptr_t>(region.AllocationBase) + kStackReserve;
  }
  return body(argument);
}

namespace {

BOOL CALLBACK EnumFunc(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<std::uintptr_t>*>(list)->push_back(reinterpret_cast<std::uintptr_t>(window));
  return TRUE;
}

}  // namespace

std::vector<std::uintptr_t> ListWindows(std::uintptr_t parent) {
  std::vector<std::uintptr_t> windows;
  if (parent == 0) {
    EnumWindows(EnumFunc, reinterpret_cast<LPARAM>(&windows));
  } else {
    EnumChildWindows(reinterpret_cast<HWND>(parent), EnumFunc, reinterpret_cast<LPARAM>(&windows));
  }
  return windows;
}

bool StandardInputIsInteractive() {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

void WaitForKey() { _getch(); }

std::string ReadRegistryString(const char* company, const char* program, const char* value) {
  char keyName[300];
  std::snprintf(keyName, sizeof keyName, "SOFTWARE\\%s\\%s", company, program);
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
  char buffer[379] = {};
  DWORD size = sizeof buffer - 1;
  DWORD type = 0;
  LONG status = RegQueryValueExA(key, value, nullptr, &type,
                                 reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
  buffer[sizeof buffer - 1] = '\0';
  return buffer;
}

}  // namespace kel::platform

namespace kel::platform {

std::vector<std::string> EnvironmentEntries() {
  std::vector<std::string> entries;
  char* block = GetEnvironmentStringsA();
  if (block == nullptr) return entries;
  for (const char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1) entries.emplace_back(entry);
  FreeEnvironmentStringsA(block);
  return entries;
}

void SetEnvironmentValue(const std::string& name, const char* value) {
  SetEnvironmentVariableA(name.c_str(), value);
}

}  // namespace kel::platform
