// Address space below 2 GiB on POSIX systems: an inaccessible mapping placed
// by address hint, made accessible piece by piece.

#include "platform/address_space.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

namespace kel::platform {

namespace {

constexpr std::size_t kHintStep = std::size_t{64} << 20;
constexpr std::size_t kSizeStep = std::size_t{256} << 20;

// A mapping of [bytes] exactly at [hint], or null. Kernels without
// MAP_FIXED_NOREPLACE take the flag as a plain hint and may place the mapping
// elsewhere; such a mapping is given back.
void* MapAt(std::uintptr_t hint, std::size_t bytes) {
  int flags = MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE;
#ifdef MAP_FIXED_NOREPLACE
  flags |= MAP_FIXED_NOREPLACE;
#endif
  void* at = mmap(reinterpret_cast<void*>(hint), bytes, PROT_NONE, flags, -1, 0);
  if (at == MAP_FAILED) return nullptr;
  if (reinterpret_cast<std::uintptr_t>(at) != hint) {
    munmap(at, bytes);
    return nullptr;
  }
  return at;
}

}  // namespace

void* ReserveLowAddressSpace(std::size_t wanted, std::size_t& got) {
  got = 0;
  if constexpr (sizeof(void*) > 4) {
    // Smaller sizes are tried when larger ones do not fit: a sanitizer's
    // shadow memory, a position-dependent program and its heap, or an
    // emulator may already hold parts of the low addresses. The highest place
    // that fits is taken, leaving room above a position-dependent program
    // for the C library's heap to grow.
    const std::size_t largest = static_cast<std::size_t>(kScriptAddressLimit) - kHintStep;
    for (std::size_t size = std::min(wanted, largest); size >= kHintStep; size -= std::min(size / 2, kSizeStep)) {
      for (std::uintptr_t hint = kScriptAddressLimit - size; hint >= kHintStep; hint -= kHintStep) {
        if (void* at = MapAt(hint, size)) {
          got = size;
          return at;
        }
      }
    }
  }
  return nullptr;
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

std::size_t PageGranularity() {
  static const std::size_t size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return size < 65536 ? 65536 : size;
}

}  // namespace kel::platform
