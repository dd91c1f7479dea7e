// Path rules and file queries on Win32.

#include "platform/paths.h"

#include <windows.h>

#include <vector>

namespace kel::platform {

bool IsDirectorySeparator(char c) { return c == '\\' || c == ':'; }

char DirectorySeparator() { return '\\'; }

char PathListSeparator() { return ';'; }

bool SameFileName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool IsExistingFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsExecutableFile(const std::string& path) { return IsExistingFile(path); }

const std::vector<std::string_view>& CommandExtensions() {
  static const std::vector<std::string_view> extensions = {".KEL", ".COM", ".EXE", ".CMD", ".BAT"};
  return extensions;
}

bool CommandsKeepTheirExtension() { return false; }

bool ScriptsMayLackExtension() { return false; }

std::string FullPath(const std::string& path) {
  std::vector<char> buffer(MAX_PATH + 1);
  for (;;) {
    DWORD length = GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()),
                                    buffer.data(), nullptr);
    if (length == 0) return std::string();
    if (length < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(length + 1);
  }
}

std::size_t MaxPathLength() { return MAX_PATH; }

bool IsFileSystemRoot(std::string_view path) { return path.size() == 3 && path[1] == ':' && path[2] == '\\'; }

std::string ModuleFileName() {
  char buffer[MAX_PATH + 1];
  DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return std::string(buffer, length);
}

std::optional<std::string> GetEnvironmentValue(const char* name) {
  DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
  if (size == 0) return std::nullopt;
  std::vector<char> buffer(size);
  DWORD length = GetEnvironmentVariableA(name, buffer.data(), size);
  if (length >= size) return std::nullopt;
  return std::string(buffer.data(), length);
}

}  // namespace kel::platform

namespace kel::platform {

const char* ExecutableExtension() { return ".exe"; }

}  // namespace kel::platform
