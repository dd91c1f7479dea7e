// Reserved address space on Windows: a reservation at a chosen address,
// committed piece by piece.

#include "platform/address_space.h"

#include <windows.h>

#include <cstring>

#include <cstdint>

namespace kel::platform {

void* ReserveAddressSpaceAt(std::uintptr_t address, std::size_t bytes) {
  // With an address, VirtualAlloc reserves exactly there or fails.
  return VirtualAlloc(reinterpret_cast<void*>(address), bytes, MEM_RESERVE, PAGE_NOACCESS);
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

// MEM_RESET keeps no promise of zeros, and decommitting pages inside a heap
// block is not allowed: the bytes are cleared.
void ClearMemory(void* at, std::size_t bytes) { std::memset(at, 0, bytes); }

std::size_t PageGranularity() { return 65536; }

}  // namespace kel::platform
