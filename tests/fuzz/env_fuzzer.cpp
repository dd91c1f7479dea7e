// Fuzz target: the environment mapping. The input's lines are the entries of
// an environment block (NAME=value, NAME.member=value, NAME[index]=value, with
// literals, lists and raw text); every name they start with is looked up as
// a script's reference to it would. Each lookup ends in a variable or in
// message 6090: never a crash, a sanitizer report or a hang.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/context.h"
#include "engine/environment.h"
#include "fuzz_host.h"

namespace {

struct Lookups {
  std::vector<std::string> entries;
  std::vector<std::string> names;
};

void LookUpAll(void* raw) {
  auto* lookups = static_cast<Lookups*>(raw);
  kel::EnvBlock block(lookups->entries);
  auto* context = new kel::Context(&kel::fuzz::QuietHost());
  context->envBlock = &block;
  for (const std::string& name : lookups->names) {
    context->runState = kel::RUN_RUNNING;  // each lookup as a fresh reference would
    static_cast<void>(kel::EnvLookup(*context, name));
  }
  delete context;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Lookups lookups;
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    const std::string_view entry = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    const std::size_t nameEnd = entry.find_first_of("=.[");
    if (nameEnd == 0 || nameEnd == std::string_view::npos) continue;
    lookups.entries.emplace_back(entry);
    lookups.names.emplace_back(entry.substr(0, nameEnd));
  }
  kel::fuzz::RunGuarded(LookUpAll, &lookups);
  return 0;
}
