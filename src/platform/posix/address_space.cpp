// Reserved address space on POSIX systems: an inaccessible mapping at a
// chosen address, made accessible piece by piece.

#include "platform/address_space.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

namespace kel::platform {

void* ReserveAddressSpaceAt(std::uintptr_t address, std::size_t bytes) {
  int flags = MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE;
#ifdef MAP_FIXED_NOREPLACE
  flags |= MAP_FIXED_NOREPLACE;
#endif
  void* at = mmap(reinterpret_cast<void*>(address), bytes, PROT_NONE, flags, -1, 0);
  if (at == MAP_FAILED) return nullptr;
  // Kernels without MAP_FIXED_NOREPLACE take the address as a plain hint and
  // may place the mapping elsewhere; such a mapping is given back.
  if (reinterpret_cast<std::uintptr_t>(at) != address) {
    munmap(at, bytes);
    return nullptr;
  }
  return at;
}

bool CommitPages(void* at, std::size_t bytes) { return mprotect(at, bytes, PROT_READ | PROT_WRITE) == 0; }

void DecommitPages(void* at, std::size_t bytes) {
  // A fresh inaccessible mapping in place drops both the pages and their
  // charge against the system's commit limit.
  mmap(at, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED, -1, 0);
}

void DiscardPages(void* at, std::size_t bytes) {
  static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const std::uintptr_t start = (reinterpret_cast<std::uintptr_t>(at) + page - 1) & ~(page - 1);
  const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(at) + bytes) & ~(page - 1);
  if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_DONTNEED);
}

namespace {

// Whether pages given back with MADV_DONTNEED really read as zeros: so on
// Linux, but not under every emulator of another machine. Tried once.
bool DiscardedPagesReadZero() {
  static const bool zero = [] {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void* probe = mmap(nullptr, page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (probe == MAP_FAILED) return false;
    auto* bytes = static_cast<volatile unsigned char*>(probe);
    bytes[0] = 1;
    const bool cleared = madvise(probe, page, MADV_DONTNEED) == 0 && bytes[0] == 0;
    munmap(probe, page);
    return cleared;
  }();
  return zero;
}

}  // namespace

void ClearMemory(void* at, std::size_t bytes) {
  static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto first = reinterpret_cast<std::uintptr_t>(at);
  const std::uintptr_t start = (first + page - 1) & ~(page - 1);
  const std::uintptr_t end = (first + bytes) & ~(page - 1);
  // Private anonymous pages given back read as zeros afterwards.
  if (end <= start || !DiscardedPagesReadZero() ||
      madvise(reinterpret_cast<void*>(start), end - start, MADV_DONTNEED) != 0) {
    std::memset(at, 0, bytes);
    return;
  }
  std::memset(at, 0, start - first);
  std::memset(reinterpret_cast<void*>(end), 0, first + bytes - end);
}

std::size_t PageGranularity() {
  static const std::size_t size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return size < 65536 ? 65536 : size;
}

}  // namespace kel::platform
