// The console host's error output and saved search path.

#include "hosts/console/console_host.h"

#include <algorithm>
#include <cstdio>

#include "base/text.h"
#include "hosts/console/console_services.h"
#include "platform/system.h"

namespace kel {

// The message stands on lines of its own, followed by two bells; standard
// output is flushed first so that the message follows what the script printed.
void ConsoleHost::WriteErrorMessage(const char* message) {
  std::fflush(stdout);
  std::fprintf(stderr, "\n\r%s\n\r\a\a", message);
  std::fflush(stderr);
}

void ConsoleHost::WriteErrorLocation(const char* line) {
  std::fprintf(stderr, "%s\n\r", line);
  std::fflush(stderr);
}

// A key is awaited only from an interactive console: a run fed by a pipe or a
// file must never hang on its fatal message.
void ConsoleHost::ShowFatal(const char* message) {
  console::RestoreTerminal();
  std::fflush(stdout);
  std::fprintf(stderr, "\a\a%s\n", message);
  std::fflush(stderr);
  if (platform::StandardInputIsInteractive()) platform::WaitForKey();
}

std::span<const char* const> ConsoleHost::PlatformMacros() const { return console::PlatformMacros(); }

void ConsoleHost::BeforeStandardInput() { console::RestoreTerminal(); }

bool ConsoleHost::ReadShellKey(ShellKey& key) {
  if (!platform::StandardInputIsInteractive()) return Host::ReadShellKey(key);
  return console::ReadEditingKey(key.code, key.extended);
}

void ConsoleHost::EndShellLine() { console::RestoreTerminal(); }

void ConsoleHost::NoteStreamName(std::FILE* stream, const char* name) {
  ForgetStream(stream);
  if (EqualsIgnoreCase(name, "CON") || EqualsIgnoreCase(name, "CON:")) consoleStreams_.push_back(stream);
}

void ConsoleHost::ForgetStream(std::FILE* stream) {
  consoleStreams_.erase(std::remove(consoleStreams_.begin(), consoleStreams_.end(), stream), consoleStreams_.end());
}

bool ConsoleHost::IsConsoleStream(std::FILE* stream) const {
  return std::find(consoleStreams_.begin(), consoleStreams_.end(), stream) != consoleStreams_.end();
}

std::string_view ConsoleHost::SavedSearchPath() {
  if (searchPathUnread_) {
    searchPathUnread_ = false;
    searchPath_ = platform::ReadRegistryString("Orlimo", "VetraC32", "KELPATH");
  }
  return searchPath_;
}

}  // namespace kel
