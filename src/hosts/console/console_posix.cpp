// The console program on POSIX systems: the platform macros, signals as break
// requests, keys from the terminal in non-canonical mode, and the screen
// through ANSI sequences on a terminal.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/process.h"
#include "hosts/console/console_services.h"

namespace kel::console {

std::span<const char* const> PlatformMacros() {
  static const char* const kMacros[] = {"_LINUX_", "_LXCON_"};
  return kMacros;
}

namespace {

// ===================================================================
// Breaks
// ===================================================================

void OnInterrupt(int) { BreakRequested = 1; }

void OnTermination(int) {
  BreakRequested = 1;
  CloseRequested = 1;
}

// Installed before the program's entry runs.
struct BreakHandlerInstaller {
  BreakHandlerInstaller() { InstallBreakHandler(); }
} installer;

// ===================================================================
// The terminal's key mode
// ===================================================================

struct termios savedMode;
bool inKeyMode = false;

void LeaveKeyModeAtExit() { RestoreTerminal(); }

// Keys arrive one at a time without echo; Ctrl+C still interrupts.
void EnterKeyMode() {
  if (inKeyMode || !isatty(0)) return;
  if (tcgetattr(0, &savedMode) != 0) return;
  static bool registered = false;
  if (!registered) {
    registered = true;
    std::atexit(LeaveKeyModeAtExit);
  }
  struct termios keys = savedMode;
  keys.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  keys.c_cc[VMIN] = 1;
  keys.c_cc[VTIME] = 0;
  if (tcsetattr(0, TCSANOW, &keys) == 0) inKeyMode = true;
}

bool IsTerminalOutput() { return isatty(1) == 1; }

void WriteOut(const char* text) {
  std::fflush(stdout);
  ssize_t ignored = write(1, text, std::strlen(text));
  (void)ignored;
}

// Asks the terminal where its cursor is ("ESC [ row ; col R" comes back).
bool QueryCursor(Cell& cell) {
  int fd = open("/dev/tty", O_RDWR | O_NOCTTY);
  if (fd < 0) return false;
  struct termios saved, raw;
  bool ok = false;
  if (tcgetattr(fd, &saved) == 0) {
    raw = saved;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &raw);
    std::fflush(stdout);
    if (write(fd, "\x1b[6n", 4) == 4) {
      char reply[32];
      std::size_t length = 0;
      struct pollfd wait{fd, POLLIN, 0};
      while (length + 1 < sizeof reply && poll(&wait, 1, 500) > 0) {
        if (read(fd, reply + length, 1) != 1) break;
        if (reply[length++] == 'R') break;
      }
      reply[length] = '\0';
      int row = 0, col = 0;
      const char* start = std::strchr(reply, '[');
      if (start != nullptr && std::sscanf(start, "[%d;%dR", &row, &col) == 2) {
        cell = Cell{col - 1, row - 1};
        ok = true;
      }
    }
    tcsetattr(fd, TCSANOW, &saved);
  }
  close(fd);
  return ok;
}

}  // namespace

void InstallBreakHandler() {
  struct sigaction action{};
  sigemptyset(&action.sa_mask);
  action.sa_handler = OnInterrupt;  // no SA_RESTART: a wait for a key ends on Ctrl+C
  sigaction(SIGINT, &action, nullptr);
  action.sa_handler = OnTermination;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}

void RestoreTerminal() {
  if (!inKeyMode) return;
  tcsetattr(0, TCSANOW, &savedMode);
  inKeyMode = false;
}

int ReadKey(bool echo) {
  EnterKeyMode();
  std::fflush(stdout);
  unsigned char key;
  ssize_t got = read(0, &key, 1);
  if (got != 1) return -1;
  if (echo) {
    char text[2] = {static_cast<char>(key), '\0'};
    WriteOut(text);
  }
  return key;
}

namespace {

// The next byte of an escape sequence, when one follows within 50 ms: a
// terminal sends a sequence at once, a lone Esc has nothing behind it.
bool FollowingByte(unsigned char& byte) {
  struct pollfd wait{0, POLLIN, 0};
  return poll(&wait, 1, 50) > 0 && read(0, &byte, 1) == 1;
}

// The Windows console code of the key an escape sequence ending in [final]
// (with the number [number] before a "~") stands for; 0 when none.
int SequenceKey(unsigned char final, int number) {
  switch (final) {
    case 'A': return 72;  // Up
    case 'B': return 80;  // Down
    case 'C': return 77;  // Right
    case 'D': return 75;  // Left
    case 'H': return 71;  // Home
    case 'F': return 79;  // End
    case '~': return number == 1 || number == 7 ? 71 : number == 4 || number == 8 ? 79 : number == 3 ? 83 : 0;
    default: return 0;
  }
}

}  // namespace

// A key typed right after Esc, read while looking for a sequence: the next
// key to give.
namespace {
int pendingKey = -1;
}  // namespace

bool ReadEditingKey(int& code, bool& extended) {
  EnterKeyMode();
  std::fflush(stdout);
  unsigned char byte;
  if (pendingKey >= 0) {
    byte = static_cast<unsigned char>(pendingKey);
    pendingKey = -1;
  } else if (read(0, &byte, 1) != 1) {
    return false;
  }
  extended = false;
  code = byte == 127 ? 8 : byte;  // the terminal's erase key is Backspace
  unsigned char next;
  if (byte != 27 || !FollowingByte(next)) return true;
  if (next != '[' && next != 'O') {  // Esc, then an ordinary key
    pendingKey = next;
    return true;
  }
  int number = 0;
  while (FollowingByte(byte)) {
    if (byte >= '0' && byte <= '9') {
      number = number * 10 + (byte - '0');
      continue;
    }
    if (byte == ';') continue;
    const int key = SequenceKey(byte, number);
    if (key == 0) break;
    code = key;
    extended = true;
    return true;
  }
  code = 27;
  return true;
}

bool KeyWaiting() {
  EnterKeyMode();
  struct pollfd wait{0, POLLIN, 0};
  return poll(&wait, 1, 0) > 0 && (wait.revents & POLLIN) != 0;
}

void ClearScreen() {
  if (IsTerminalOutput()) WriteOut("\x1b[H\x1b[2J\x1b[3J");
}

bool CursorPosition(Cell& cell) { return IsTerminalOutput() && QueryCursor(cell); }

void MoveCursor(Cell cell) {
  if (!IsTerminalOutput()) return;
  char text[40];
  std::snprintf(text, sizeof text, "\x1b[%d;%dH", cell.row + 1, cell.col + 1);
  WriteOut(text);
}

bool BufferSize(Cell& size) {
  struct winsize window{};
  if (!IsTerminalOutput() || ioctl(1, TIOCGWINSZ, &window) != 0 || window.ws_col == 0) return false;
  size = Cell{window.ws_col, window.ws_row};
  return true;
}

std::uintptr_t ConsoleWindowHandle() { return 0; }

// In slices: the signal that asks for a break may reach another thread than
// the interpreter's, so the pause looks at the request itself; the run then
// stops at its next statement.
void Pause(std::int32_t milliseconds) {
  constexpr std::int32_t kSlice = 50;
  while (milliseconds > 0 && !BreakRequested) {
    const std::int32_t slice = milliseconds < kSlice ? milliseconds : kSlice;
    struct timespec wait{0, static_cast<long>(slice) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR && !BreakRequested) {
    }
    milliseconds -= slice;
  }
}

}  // namespace kel::console
