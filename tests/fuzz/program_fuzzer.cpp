// Fuzz target: arbitrary bytes run as a whole program (loaded, its global
// code and main run, its atexit functions and streams finished), under the
// limits fuzz_host.h describes. Every ending is a message, an exit code or a
// break: never a crash, a sanitizer report, or a run that will not stop.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kel::fuzz::RunProgramText(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
