#pragma once
// The console program's host: errors and fatal messages on the standard error
// stream, the saved search path from the registry, and the platform macros.

#include <cstdio>
#include <string>
#include <vector>

#include "base/host.h"

namespace kel {

class ConsoleHost final : public Host {
 public:
  void WriteErrorMessage(const char* message) override;
  void WriteErrorLocation(const char* line) override;
  void ShowFatal(const char* message) override;
  std::string_view SavedSearchPath() override;
  void BeforeStandardInput() override;
  void NoteStreamName(std::FILE* stream, const char* name) override;
  void ForgetStream(std::FILE* stream) override;
  bool ReadShellKey(ShellKey& key) override;
  void EndShellLine() override;

  // True when [stream] was last opened on the console ("CON" or "CON:").
  bool IsConsoleStream(std::FILE* stream) const;
  const char* ProgramName() const override { return "VetraC32"; }
  std::span<const char* const> PlatformMacros() const override;

 private:
  // The streams that refer to the console; the three standard streams at start.
  std::vector<std::FILE*> consoleStreams_{stdin, stdout, stderr};
  bool searchPathUnread_ = true;
  std::string searchPath_;
};

}  // namespace kel
