// Path rules and file queries on POSIX systems.

#include "platform/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <vector>

namespace kel::platform {

bool IsDirectorySeparator(char c) { return c == '/'; }

char DirectorySeparator() { return '/'; }

char PathListSeparator() { return ':'; }

bool SameFileName(std::string_view a, std::string_view b) { return a == b; }

bool IsExistingFile(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool IsExecutableFile(const std::string& path) { return IsExistingFile(path) && ::access(path.c_str(), X_OK) == 0; }

namespace {

std::string CurrentDirectory() {
  std::vector<char> buffer(256);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (buffer.size() > 65536) return "/";
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

}  // namespace

const std::vector<std::string_view>& CommandExtensions() {
  static const std::vector<std::string_view> extensions = {".kel", ""};
  return extensions;
}

bool CommandsKeepTheirExtension() { return true; }

bool ScriptsMayLackExtension() { return true; }

// Lexical, as a Win32 user would expect of GetFullPathName: "." and ".." are
// folded and the path need not exist.
std::string FullPath(const std::string& path) {
  std::string joined = !path.empty() && path[0] == '/' ? path : CurrentDirectory() + "/" + path;
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= joined.size()) {
    std::size_t end = joined.find('/', start);
    if (end == std::string::npos) end = joined.size();
    std::string part = joined.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string result;
  for (const std::string& part : parts) result += "/" + part;
  if (result.empty()) result = "/";
  if (joined.size() > 1 && joined.back() == '/' && result != "/") result += '/';
  return result;
}

std::size_t MaxPathLength() { return PATH_MAX; }

bool IsFileSystemRoot(std::string_view path) { return path == "/"; }

std::string ModuleFileName() {
  std::vector<char> buffer(4096);
  ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return "VetraC32";
  return std::string(buffer.data(), static_cast<std::size_t>(length));
}

std::optional<std::string> GetEnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

}  // namespace kel::platform

namespace kel::platform {

const char* ExecutableExtension() { return ""; }

}  // namespace kel::platform
