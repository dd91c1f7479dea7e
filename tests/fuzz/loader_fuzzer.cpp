// Fuzz target: arbitrary bytes as the text of a program, through the
// preprocessor and the tokenizer, then every function's names bound and its
// body compiled. Nothing runs. Whatever the bytes, the load ends in a message
// or in compiled functions: never a crash, a sanitizer report or a hang.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "base/host.h"
#include "engine/calls.h"
#include "engine/context.h"
#include "engine/functions.h"
#include "front/tokenizer.h"
#include "library/tables.h"
#include "platform/system.h"

namespace {

class QuietHost final : public kel::Host {
 public:
  void WriteErrorMessage(const char*) override {}
  void WriteErrorLocation(const char*) override {}
  void ShowFatal(const char*) override {}
  std::string_view SavedSearchPath() override { return {}; }
  const char* ProgramName() const override { return "VetraC32"; }
  std::span<const char* const> PlatformMacros() const override { return {}; }
};

// The fuzzer calls in on the process's main thread, whose stack (8 MiB by
// default) the interpreter's stack guard is told about here: 6 MiB below the
// first call's frame.
void NoteStack() {
  static bool noted = false;
  if (noted) return;
  noted = true;
  const auto here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
  kel::platform::g_stackLimit = here - (std::uintptr_t{6} << 20);
}

kel::Context& TopContext() {
  static QuietHost host;
  static kel::Context* top = [] {
    auto* context = new kel::Context(&host);
    kel::RegisterLibrary(*context);
    return context;
  }();
  return *top;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  NoteStack();
  kel::Context run(TopContext(), kel::OWNS_ALL);
  std::string text(reinterpret_cast<const char*>(data), size);
  if (kel::Tokenize(run, text, false)) {
    for (kel::FunctionRecord* function = run.functions->First(); function != nullptr; function = function->next) {
      if (function->kind == kel::FUNCTION_SCRIPT) static_cast<void>(kel::PrepareFunction(run, *function));
    }
  }
  return 0;
}
