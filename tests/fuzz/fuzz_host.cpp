// The fuzz targets' host, stack note and program runner.

#include "fuzz_host.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <thread>

#include "base/host.h"
#include "base/process.h"
#include "base/text.h"
#include "engine/calls.h"
#include "engine/context.h"
#include "engine/functions.h"
#include "front/bound_program.h"
#include "library/arguments.h"
#include "library/process.h"
#include "library/tables.h"
#include "platform/system.h"
#include "run/driver.h"

namespace kel::fuzz {

namespace {

// Where a fatal message returns to while a program runs.
sigjmp_buf fatalReturn;
bool fatalReturnSet = false;

class SilentHost final : public Host {
 public:
  void WriteErrorMessage(const char*) override {}
  void WriteErrorLocation(const char*) override {}
  void ShowFatal(const char*) override {
    if (fatalReturnSet) siglongjmp(fatalReturn, 1);
  }
  std::string_view SavedSearchPath() override { return {}; }
  const char* ProgramName() const override { return "VetraC32"; }
  std::span<const char* const> PlatformMacros() const override { return {}; }
};

SilentHost host;
Context* top = nullptr;
BuiltinServices library;

// Built-ins that reach outside the run: writing arbitrary memory would make
// every later finding suspect, files are kept to the scratch folder, no
// program is started, the process environment stays as it is, and no
// directory walk wanders the whole file system, and no native function is
// called. Names are found in any case.
bool Denied(std::string_view name) {
  for (std::string_view denied : {"poke", "remove", "rename", "system", "spawn", "putenv", "Directory", "DynamicLink"}) {
    if (EqualsIgnoreCase(name, denied)) return true;
  }
  return false;
}

FunctionRecord* FindAllowed(std::string_view name) { return Denied(name) ? nullptr : library.find(name); }

// A plain name, no folder: the file lands in the scratch folder.
bool ScratchName(const char* name) {
  const std::string_view text(name);
  return !text.empty() && text[0] != '.' && text.find_first_of("/\\:") == std::string_view::npos;
}

void CallAllowed(CallFrame& frame) {
  const std::string& name = frame.function->name;
  if ((EqualsIgnoreCase(name, "fopen") || EqualsIgnoreCase(name, "freopen")) && frame.argCount > 0) {
    const char* file = GetString(frame, 0);
    if (file == nullptr || !ScratchName(file)) return;  // no result: the program sees no stream
  }
  library.call(frame);
}

// The input being run, counted; the watchdog asks a run that has taken more
// than a second to stop, and asks again every second.
std::atomic<std::uint32_t> generation{0};
std::atomic<bool> running{false};

void Watchdog() {
  using Clock = std::chrono::steady_clock;
  std::uint32_t seen = 0;
  Clock::time_point since = Clock::now();
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::uint32_t now = generation.load();
    if (!running.load() || now != seen) {
      seen = now;
      since = Clock::now();
    } else if (Clock::now() - since > std::chrono::seconds(1)) {
      BreakRequested = 1;
      since = Clock::now();
    }
  }
}

void PrepareProcess() {
  static bool prepared = false;
  if (prepared) return;
  prepared = true;
  SetProcessHost(&host);
  static_cast<void>(std::freopen("/dev/null", "r", stdin));
  static_cast<void>(std::freopen("/dev/null", "w", stdout));
  char scratch[] = "/tmp/kel-fuzz-XXXXXX";
  if (mkdtemp(scratch) == nullptr || chdir(scratch) != 0) std::abort();
  std::thread(Watchdog).detach();
}

}  // namespace

void NoteStack() {
  static bool noted = false;
  if (noted) return;
  noted = true;
  const auto here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
  platform::g_stackLimit = here - (std::uintptr_t{6} << 20);
}

Context& TopContext() {
  if (top == nullptr) {
    PrepareProcess();
    top = new Context(&host);
    SetNestedRunner(RunProgram);
    RegisterLibrary(*top);
    library = top->builtins;
    top->builtins = {FindAllowed, CallAllowed};
  }
  return *top;
}

bool RunGuarded(void (*body)(void*), void* argument) {
  PrepareProcess();
  NoteStack();
  bool completed = true;
  if (sigsetjmp(fatalReturn, 0) == 0) {
    fatalReturnSet = true;
    body(argument);
  } else {
    // What the body made is abandoned where the message stopped it; the
    // next input starts from a new top context.
    completed = false;
    top = nullptr;
    static_cast<void>(std::freopen("/dev/null", "w", stdout));
  }
  fatalReturnSet = false;
  return completed;
}

Host& QuietHost() { return host; }

namespace {

int RunGuardedProgram(std::string_view text, unsigned flags) {
  Context& parent = TopContext();
  generation.fetch_add(1);
  running.store(true);
  struct Run {
    Context* parent;
    std::string_view text;
    unsigned flags;
    std::int32_t exitCode;
  } run{&parent, text, flags, 0};
  const bool completed = RunGuarded(
      [](void* raw) {
        auto* run = static_cast<Run*>(raw);
        static_cast<void>(RunProgram(*run->parent, run->text, true, run->flags, nullptr, run->exitCode));
      },
      &run);
  running.store(false);
  BreakRequested = 0;
  return completed ? run.exitCode : -1;
}

}  // namespace

int RunProgramText(std::string_view text) { return RunGuardedProgram(text, RUN_MODE_CODE); }

int RunBoundData(std::string_view data) {
  // Damaged data is found by a trial load first: the fatal message a run
  // ends in would abandon the top context each time, and most inputs are.
  {
    Context trial(TopContext(), OWNS_ALL);
    if (LoadBoundProgram(trial, data) == BoundLoad::DAMAGED) return -1;
  }
  UseBoundProgramData(std::string(data));
  return RunGuardedProgram("", RUN_MODE_FILE | RUN_BOUND);
}

void CheckGeneratedProgram(const std::string& text) {
  const int exitCode = RunProgramText(text);
  if (exitCode == 0) return;
  std::fprintf(stderr, "the generated program ends with %d instead of 0:\n%s\n", exitCode, text.c_str());
  std::abort();
}

std::string QuoteBytes(std::string_view bytes) {
  std::string quoted = "\"";
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    quoted += '\\';
    quoted += static_cast<char>('0' + (byte >> 6));
    quoted += static_cast<char>('0' + ((byte >> 3) & 7));
    quoted += static_cast<char>('0' + (byte & 7));
  }
  quoted += '"';
  return quoted;
}

}  // namespace kel::fuzz
