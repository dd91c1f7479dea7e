// Fuzz target: arbitrary bytes as a bound executable's program data, loaded
// and, when they make a program, run under the limits of fuzz_host.h. Data
// the binder cannot have written must end in the fatal message 0105: never
// a crash, a sanitizer report, a hang or an allocation the bytes do not pay for.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kel::fuzz::RunBoundData(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
