// Allocation that ends the process with message 0003 when memory runs out,
// and the placement of script-addressable storage.

#include "base/memory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <new>

#include "base/low_heap.h"
#include "base/message_table.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#include <sanitizer/lsan_interface.h>
#define KEL_POISON_CHECKS 1
#endif

namespace kel {

void* CheckedMalloc(std::size_t bytes) {
  void* block = std::malloc(bytes == 0 ? 1 : bytes);
  if (block == nullptr) FatalError(MSG_0003);
  return block;
}

void* CheckedRealloc(void* block, std::size_t bytes) {
  void* moved = std::realloc(block, bytes == 0 ? 1 : bytes);
  if (moved == nullptr) FatalError(MSG_0003);
  return moved;
}

namespace {

// As much as a 32-bit Windows process could hold; it costs only address
// space. Beyond it, storage comes from the C heap, and only pointer() minds.
constexpr std::size_t kLowRegionWanted = std::size_t{2} << 30;

LowHeap* lowHeap = nullptr;
bool lowHeapTried = false;

// The low heap, made at the first request; null where every address
// fits anyway (a 32-bit process) or where no region could be reserved.
LowHeap* TheLowHeap() {
  if (lowHeapTried) return lowHeap;
  lowHeapTried = true;
  if constexpr (sizeof(void*) > 4) {
    std::size_t size = 0;
    void* base = ReserveLowRegion(kLowRegionWanted, size);
    if (base == nullptr) return nullptr;
#ifdef KEL_POISON_CHECKS
    __lsan_register_root_region(base, size);  // it holds references to other blocks
#endif
    // Never destroyed: pools release into it while the process ends.
    alignas(LowHeap) static unsigned char room[sizeof(LowHeap)];
    lowHeap = new (room) LowHeap(base, size);
  }
  return lowHeap;
}

void* RawAllocate(std::size_t bytes) {
  LowHeap* heap = TheLowHeap();
  void* block = heap != nullptr ? heap->Allocate(bytes) : nullptr;
  return block != nullptr ? block : CheckedMalloc(bytes);
}

void RawFree(void* block) {
  LowHeap* heap = TheLowHeap();
  if (heap != nullptr && heap->Owns(block)) {
    heap->Free(block);
  } else {
    std::free(block);
  }
}

}  // namespace

#ifdef KEL_POISON_CHECKS

// Sanitizer builds: every block is followed by bytes marked unusable, and a
// freed block stays unusable for a while before it is given out again, so
// that overruns and stale uses of script storage are reported as they are
// for the C heap.
namespace {

constexpr std::size_t kRedZone = 16;
constexpr std::size_t kQuarantineBytes = std::size_t{16} << 20;

std::deque<std::pair<void*, std::size_t>> quarantine;
std::size_t quarantined = 0;

// The bytes of a block of the low heap; 0 for a C heap block.
std::size_t UsableSize(void* block) {
  LowHeap* heap = TheLowHeap();
  return heap != nullptr && heap->Owns(block) ? heap->UsableSize(block) : 0;
}

}  // namespace

void* AllocateAddressable(std::size_t bytes) {
  void* block = RawAllocate(bytes + kRedZone);
  std::size_t usable = std::max(UsableSize(block), bytes + kRedZone);
  ASAN_UNPOISON_MEMORY_REGION(block, bytes);
  ASAN_POISON_MEMORY_REGION(static_cast<char*>(block) + bytes, usable - bytes);
  return block;
}

void FreeAddressable(void* block) {
  if (block == nullptr) return;
  std::size_t usable = UsableSize(block);
  if (usable == 0) {
    std::free(block);
    return;
  }
  ASAN_POISON_MEMORY_REGION(block, usable);
  quarantine.emplace_back(block, usable);
  quarantined += usable;
  while (quarantined > kQuarantineBytes) {
    quarantined -= quarantine.front().second;
    RawFree(quarantine.front().first);
    quarantine.pop_front();
  }
}

void* ReallocateAddressable(void* block, std::size_t bytes) {
  const std::size_t old = block != nullptr ? UsableSize(block) : 0;
  if (block != nullptr && old == 0) return CheckedRealloc(block, bytes);
  void* moved = AllocateAddressable(bytes);
  if (block != nullptr) {
    ASAN_UNPOISON_MEMORY_REGION(block, old);
    std::memcpy(moved, block, std::min(old, bytes));
    FreeAddressable(block);
  }
  return moved;
}

#else

void* AllocateAddressable(std::size_t bytes) { return RawAllocate(bytes); }

void FreeAddressable(void* block) {
  if (block != nullptr) RawFree(block);
}

void* ReallocateAddressable(void* block, std::size_t bytes) {
  LowHeap* heap = TheLowHeap();
  if (heap == nullptr || !heap->Owns(block)) {
    if (block != nullptr) return CheckedRealloc(block, bytes);
    return RawAllocate(bytes);
  }
  if (void* moved = heap->Reallocate(block, bytes)) return moved;
  // The region is full: the block leaves it.
  void* moved = CheckedMalloc(bytes);
  std::memcpy(moved, block, std::min(heap->UsableSize(block), bytes));
  heap->Free(block);
  return moved;
}

#endif

}  // namespace kel
