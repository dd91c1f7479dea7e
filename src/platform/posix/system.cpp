// Process-level services on POSIX systems.

#include "platform/system.h"

#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace kel::platform {

std::uintptr_t g_stackLimit = 0;

bool IsWindowsNT() { return false; }

// The words are joined as a Win32 command line would hold them, so the driver
// sees the same text on both systems.
std::string ProgramCommandTail(int argc, char** argv) {
  std::string tail;
  for (int i = 1; i < argc; ++i) {
    std::string_view word = argv[i];
    if (!tail.empty() || i > 1) tail += ' ';
    bool quote = word.empty() || word.find_first_of(" \t") != std::string_view::npos;
    if (quote) tail += '"';
    tail += word;
    if (quote) tail += '"';
  }
  return tail;
}

namespace {

// Room kept below the guard's limit for the C library and the sanitizers,
// which use the stack beyond the interpreter's own frames.
constexpr std::size_t kStackReserve = 256 * 1024;

struct ThreadStart {
  int (*body)(void*);
  void* argument;
  int result;
};

void* ThreadMain(void* raw) {
  auto* start = static_cast<ThreadStart*>(raw);
  pthread_attr_t attributes;
  if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
    void* base = nullptr;
    std::size_t size = 0;
    if (pthread_attr_getstack(&attributes, &base, &size) == 0) {
      g_stackLimit = reinterpret_cast<std::uintptr_t>(base) + kStackReserve;
    }
    pthread_attr_destroy(&attributes);
  }
  start->result = start->body(start->argument);
  return nullptr;
}

}  // namespace

int RunOnLargeStack(std::size_t stackBytes, int (*body)(void*), void* argument) {
  // The interpreter's thread allocates from the main heap: an arena of its
  // own would only add memory while the main thread waits.
  mallopt(M_ARENA_MAX, 1);
  ThreadStart start{body, argument, 255};
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, stackBytes);
  pthread_t thread;
  if (pthread_create(&thread, &attributes, ThreadMain, &start) != 0) {
    pthread_attr_destroy(&attributes);
    return body(argument);  // no thread: run on the main stack with its limits
  }
  pthread_attr_destroy(&attributes);
  // Break and termination signals go to the interpreter's thread, so that a
  // read or wait it is blocked in ends at once (the handlers do not restart
  // it); the main thread only waits.
  sigset_t breaks;
  sigemptyset(&breaks);
  sigaddset(&breaks, SIGINT);
  sigaddset(&breaks, SIGTERM);
  sigaddset(&breaks, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &breaks, nullptr);
  pthread_join(thread, nullptr);
  return start.result;
}

std::vector<std::uintptr_t> ListWindows(std::uintptr_t) { return {}; }

bool StandardInputIsInteractive() { return ::isatty(0) == 1; }

void WaitForKey() {
  struct termios saved;
  if (::tcgetattr(0, &saved) != 0) return;
  struct termios raw = saved;
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  ::tcsetattr(0, TCSANOW, &raw);
  char key;
  ssize_t ignored = ::read(0, &key, 1);
  (void)ignored;
  ::tcsetattr(0, TCSANOW, &saved);
}

std::string ReadRegistryString(const char*, const char*, const char*) { return {}; }

}  // namespace kel::platform

extern char** environ;

namespace kel::platform {

std::vector<std::string> EnvironmentEntries() {
  std::vector<std::string> entries;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) entries.emplace_back(*entry);
  return entries;
}

void SetEnvironmentValue(const std::string& name, const char* value) {
  if (value != nullptr) {
    ::setenv(name.c_str(), value, 1);
  } else {
    ::unsetenv(name.c_str());
  }
}

}  // namespace kel::platform
