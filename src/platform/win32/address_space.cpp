// Address space below 2 GiB on Windows: a reservation at a chosen address,
// committed piece by piece. A 32-bit process has nothing else, so only the
// x86-64 build needs it.

#include "platform/address_space.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>

namespace kel::platform {

namespace {

constexpr std::size_t kHintStep = std::size_t{64} << 20;
constexpr std::size_t kSizeStep = std::size_t{256} << 20;

}  // namespace

void* ReserveLowAddressSpace(std::size_t wanted, std::size_t& got) {
  got = 0;
  if constexpr (sizeof(void*) > 4) {
    const std::size_t largest = static_cast<std::size_t>(kScriptAddressLimit) - kHintStep;
    for (std::size_t size = std::min(wanted, largest); size >= kHintStep; size -= std::min(size / 2, kSizeStep)) {
      for (std::uintptr_t hint = kScriptAddressLimit - size; hint >= kHintStep; hint -= kHintStep) {
        // VirtualAlloc with an address reserves exactly there or fails.
        if (void* at = VirtualAlloc(reinterpret_cast<void*>(hint), size, MEM_RESERVE, PAGE_NOACCESS)) {
          got = size;
          return at;
        }
      }
    }
  }
  return nullptr;
}

bool CommitPages(void* at, std::size_t bytes) {
  return VirtualAlloc(at, bytes, MEM_COMMIT, PAGE_READWRITE) != nullptr;
}

void DecommitPages(void* at, std::size_t bytes) { VirtualFree(at, bytes, MEM_DECOMMIT); }

void DiscardPages(void* at, std::size_t bytes) {
  constexpr std::uintptr_t kPage = 4096;
  const std::uintptr_t start = (reinterpret_cast<std::uintptr_t>(at) + kPage - 1) & ~(kPage - 1);
  const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(at) + bytes) & ~(kPage - 1);
  if (end > start) VirtualAlloc(reinterpret_cast<void*>(start), end - start, MEM_RESET, PAGE_READWRITE);
}

std::size_t PageGranularity() { return 65536; }

}  // namespace kel::platform
