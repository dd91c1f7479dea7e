#pragma once
// The windowed program's host: the console window behind the standard
// streams, errors and fatal messages in message boxes (or, for unattended
// runs, in the file VETRA_NOBOX names), keys from the window, and the
// window's messages handled while a script runs.

#include <cstdio>
#include <string>
#include <vector>

#include "base/host.h"
#include "hosts/windowed/main_window.h"

namespace kel {

class WindowHost final : public Host {
 public:
  explicit WindowHost(KelMainWindow& window) : window_(window) {}

  void WriteErrorMessage(const char* message) override;
  void WriteErrorLocation(const char* line) override;
  void ShowFatal(const char* message) override;
  std::string_view SavedSearchPath() override;
  const char* ProgramName() const override { return "VetraW32"; }
  std::span<const char* const> PlatformMacros() const override;

  void NoteStreamName(std::FILE* stream, const char* name) override;
  const char* FileToOpen(const char* name) const override;
  void ForgetStream(std::FILE* stream) override;
  bool IsWindowStream(std::FILE* stream) const override;
  bool WriteWindow(std::FILE* stream, const char* bytes, std::size_t count) override;
  int ReadWindowCharacter(Context& run) override;
  void UnreadWindowCharacter(int c) override;
  void WriteStandardOutput(const char* text) override;
  bool ReadShellKey(ShellKey& key) override;
  void ShowRunningScript(std::string_view scriptName) override;
  void RestoreTitle() override;

  // Waits for a key typed into the window, handling the window's messages
  // meanwhile; -1 once [run] stopped (null: never) or the window closes.
  int WaitKey(const Context* run);
  KelMainWindow& Window() { return window_; }

  // A message box with [text] (or a line in the VETRA_NOBOX file).
  static void ShowBox(const char* text, unsigned style);

 private:
  void WriteError(const char* text, const char* format);

  KelMainWindow& window_;
  // The streams that refer to the window; the three standard streams at start.
  std::vector<std::FILE*> windowStreams_{stdin, stdout, stderr};
  // A carriage return read from the window reads as 13 and then 10.
  bool pendingLineFeed_ = false;
  bool searchPathUnread_ = true;
  std::string searchPath_;
};

// Handles the window messages waiting for the program's thread (the engine
// calls it between statements).
void PumpWindowMessages();

}  // namespace kel
