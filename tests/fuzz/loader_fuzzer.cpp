// Fuzz target: arbitrary bytes as the text of a program, through the
// preprocessor and the tokenizer, then every function's names bound and its
// body compiled. Nothing runs. Whatever the bytes, the load ends in a message
// or in compiled functions: never a crash, a sanitizer report or a hang.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/calls.h"
#include "engine/context.h"
#include "engine/functions.h"
#include "front/tokenizer.h"
#include "fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kel::fuzz::NoteStack();
  kel::Context run(kel::fuzz::TopContext(), kel::OWNS_ALL);
  std::string text(reinterpret_cast<const char*>(data), size);
  if (kel::Tokenize(run, text, false)) {
    for (kel::FunctionRecord* function = run.functions->First(); function != nullptr; function = function->next) {
      if (function->kind == kel::FUNCTION_SCRIPT) static_cast<void>(kel::PrepareFunction(run, *function));
    }
  }
  return 0;
}
