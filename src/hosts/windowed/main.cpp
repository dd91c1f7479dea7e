// The windowed program's entry: start-up values, the console window class
// and object, the run driver, and the window gone when the run is over.

#include <windows.h>

#include <string>

#include "base/process.h"
#include "hosts/windowed/main_window.h"
#include "hosts/windowed/script_windows.h"
#include "hosts/windowed/window_host.h"
#include "hosts/windowed/windowed_builtins.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "run/driver.h"

namespace {

struct Start {
  std::string commandLine;
  kel::Host* host;
};

int RunInterpreter(void* raw) {
  auto* start = static_cast<Start*>(raw);
  return kel::RunDriver(start->commandLine, start->host);
}

// Asks the engine now and then to handle the window's messages between
// statements, so that the window repaints, scrolls and takes keys while a
// script computes.
DWORD WINAPI MessageTicker(LPVOID) {
  for (;;) {
    Sleep(20);
    kel::PumpRequested = 1;
  }
}

void StartMessageTicker() {
  if (HANDLE thread = CreateThread(nullptr, 64 * 1024, MessageTicker, nullptr, 0, nullptr)) CloseHandle(thread);
}

// The command line after the program's name.
std::string CommandTail() {
  const char* line = GetCommandLineA();
  bool quoted = false;
  for (; *line != '\0'; ++line) {
    if (*line == '"') quoted = !quoted;
    if (!quoted && (*line == ' ' || *line == '\t')) break;
  }
  return line;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (!kel::InitProcessPaths(kel::platform::ModuleFileName())) return 255;
  kel::RegisterWindowedBuiltins();
  kel::KelMainWindow::RegisterWindowClass(instance);
  int exitCode = 255;
  {
    kel::KelMainWindow window(instance);
    kel::WindowHost host(window);
    kel::SetProcessHost(&host);
    if (window.Create()) {
      kel::RegisterScriptWindows(window);
      kel::HostMessagePump = kel::PumpWindowMessages;
      StartMessageTicker();
      Start start{CommandTail(), &host};
      exitCode = kel::platform::RunOnLargeStack(0, RunInterpreter, &start);
      kel::HostMessagePump = nullptr;
    }
    ReleaseCapture();
    kel::SetProcessHost(nullptr);
  }
  kel::UnregisterScriptWindows();
  kel::KelMainWindow::UnregisterWindowClass(instance);
  return exitCode;
}
