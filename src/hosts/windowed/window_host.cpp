// The windowed program's host: streams on the console window, message boxes,
// the key wait, and the messages handled between statements.

#include "hosts/windowed/window_host.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "base/process.h"
#include "base/text.h"
#include "engine/context.h"
#include "hosts/windowed/script_windows.h"
#include "platform/system.h"

namespace kel {

void WindowHost::ShowBox(const char* text, unsigned style) {
  // Unattended runs must never wait for a click.
  if (const char* file = std::getenv("VETRA_NOBOX"); file != nullptr && *file != '\0') {
    if (std::FILE* log = std::fopen(file, "a")) {
      std::fprintf(log, "%s\n", text);
      std::fclose(log);
    }
    return;
  }
  MessageBoxA(nullptr, text, nullptr, style);
}

// An error's text goes where standard error goes: a message box, or the
// file a script redirected standard error to ([format] lays it out there).
void WindowHost::WriteError(const char* text, const char* format) {
  if (IsWindowStream(stderr)) {
    ShowBox(text, MB_SYSTEMMODAL | MB_ICONHAND);
    return;
  }
  std::fprintf(stderr, format, text);
  std::fflush(stderr);
}

void WindowHost::WriteErrorMessage(const char* message) { WriteError(message, "\n%s\n"); }

void WindowHost::WriteErrorLocation(const char* line) { WriteError(line, "%s\n"); }

void WindowHost::ShowFatal(const char* message) { ShowBox(message, MB_TASKMODAL | MB_ICONHAND); }

std::string_view WindowHost::SavedSearchPath() {
  if (searchPathUnread_) {
    searchPathUnread_ = false;
    searchPath_ = platform::ReadRegistryString("Orlimo", "VetraW32", "KELPATH");
  }
  return searchPath_;
}

std::span<const char* const> WindowHost::PlatformMacros() const {
  static const char* const kNt[] = {"_WIN32_", "_NTWIN_"};
  static const char* const k95[] = {"_WIN32_", "_95WIN_"};
  if (IsWindowsNT) return kNt;
  return k95;
}

// ===================================================================
// Streams
// ===================================================================

void WindowHost::NoteStreamName(std::FILE* stream, const char* name) {
  ForgetStream(stream);
  if (EqualsIgnoreCase(name, "CON") || EqualsIgnoreCase(name, "CON:")) windowStreams_.push_back(stream);
}

// A program without a console cannot open "CON": its window serves such a
// stream, which the null device backs.
const char* WindowHost::FileToOpen(const char* name) const {
  return EqualsIgnoreCase(name, "CON") || EqualsIgnoreCase(name, "CON:") ? "NUL" : name;
}

void WindowHost::ForgetStream(std::FILE* stream) {
  windowStreams_.erase(std::remove(windowStreams_.begin(), windowStreams_.end(), stream), windowStreams_.end());
}

bool WindowHost::IsWindowStream(std::FILE* stream) const {
  return std::find(windowStreams_.begin(), windowStreams_.end(), stream) != windowStreams_.end();
}

bool WindowHost::WriteWindow(std::FILE* stream, const char* bytes, std::size_t count) {
  // A zero byte ends the text, as it ends a C string.
  const std::string text(bytes, std::find(bytes, bytes + count, '\0'));
  if (stream == stderr) {
    ShowBox(text.c_str(), MB_SYSTEMMODAL | MB_ICONHAND);
    return true;
  }
  return window_.Write(text.data(), text.size());
}

void WindowHost::WriteStandardOutput(const char* text) {
  if (IsWindowStream(stdout)) {
    window_.Write(text, std::strlen(text));
  } else {
    Host::WriteStandardOutput(text);
  }
}

// ===================================================================
// Keys
// ===================================================================

int WindowHost::WaitKey(const Context* run) {
  for (;;) {
    int key;
    if (window_.TakeKey(key)) return key;
    if (CloseRequested || (run != nullptr && run->runState != RUN_RUNNING)) return -1;
    MSG message;
    if (GetMessageA(&message, nullptr, 0, 0) <= 0) return -1;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

int WindowHost::ReadWindowCharacter(Context& run) {
  if (pendingLineFeed_) {
    pendingLineFeed_ = false;
    return '\n';
  }
  const int key = WaitKey(&run);
  if (key == '\r') pendingLineFeed_ = true;
  return key == 26 ? EOF : key;
}

void WindowHost::UnreadWindowCharacter(int c) {
  if (c != '\r') window_.PushKeyFront(c);
}

// The shell's line editor takes the window's keys; the cursor keys arrive as
// the console's extended codes.
bool WindowHost::ReadShellKey(ShellKey& key) {
  const int typed = WaitKey(nullptr);
  if (typed < 0) return false;
  static constexpr struct {
    int virtualKey;
    int code;
  } kExtended[] = {{VK_LEFT, 75}, {VK_RIGHT, 77}, {VK_UP, 72}, {VK_DOWN, 80},
                   {VK_HOME, 71}, {VK_END, 79},   {VK_DELETE, 83}};
  for (const auto& entry : kExtended) {
    if (typed == 0x100 + entry.virtualKey) {
      key = ShellKey{entry.code, true};
      return true;
    }
  }
  key = ShellKey{typed > 0xFF ? 0 : typed, typed > 0xFF};
  return true;
}

void WindowHost::ShowRunningScript(std::string_view scriptName) { window_.BeginTitle(std::string(scriptName)); }

void WindowHost::RestoreTitle() { window_.EndTitle(); }

// ===================================================================
// Messages between statements
// ===================================================================

void PumpWindowMessages() {
  if (WindowFunctionRunning()) return;  // never re-entered through the engine's pump
  MSG message;
  // A few at a time: the script goes on between them.
  for (int handled = 0; handled < 32 && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); ++handled) {
    if (message.message == WM_QUIT) {
      CloseRequested = 1;
      BreakRequested = 1;
      return;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

}  // namespace kel
