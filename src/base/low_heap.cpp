// The heap of script-addressable storage in a 64-bit process: boundary-tagged
// blocks in a reservation below 4 GiB.
//
// A chunk starts with two 32-bit words: the size of the chunk before it (valid
// only while that one is free) and its own size with two flags (in use, the
// previous chunk in use). A free chunk keeps its bin links, as offsets from the
// region's start, where an allocated chunk keeps its payload. The space after
// the last chunk is the top: it has no header, and the chunk before it is
// always in use, because a chunk freed next to the top joins it.

#include "base/low_heap.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>

#include "platform/address_space.h"

// The heap's own bookkeeping lies in memory that sanitizer builds mark as
// unusable for everything else.
#if defined(__SANITIZE_ADDRESS__)
#define KEL_HEAP_INTERNAL __attribute__((no_sanitize("address")))
#else
#define KEL_HEAP_INTERNAL
#endif

namespace kel {

namespace {

constexpr std::uint32_t kInUse = 1;
constexpr std::uint32_t kPrevInUse = 2;
constexpr std::uint32_t kFlags = 7;
constexpr std::uint32_t kHeader = 8;
constexpr std::uint32_t kMinChunk = 16;
constexpr std::uint32_t kNone = 0xFFFFFFFFu;
constexpr std::uint32_t kSmallLimit = 1024;
constexpr std::uint8_t kKeptPerSize = 16;
constexpr std::size_t kLargestRequest = 0xF0000000u;
constexpr std::uint64_t kCommitStep = 1u << 20;
constexpr std::uint64_t kKeepAtTop = 1u << 20;
// Freed blocks of at least this size give their pages back, and a freed block
// raises the bar to its own size, as the C library's allocators adapt their
// mapping threshold: a script that keeps making blocks of one large size
// then reuses their pages instead of paying for fresh ones each time.
constexpr std::uint32_t kFirstReleaseSize = 128u << 10;
constexpr std::uint32_t kLastReleaseSize = 32u << 20;

std::uint32_t ChunkSize(std::size_t bytes) {
  return std::max<std::uint32_t>(kMinChunk, static_cast<std::uint32_t>((bytes + kHeader + 7) & ~std::size_t{7}));
}

// Exact bins of 8-byte steps below 1 KiB, then four bins per power of two.
int BinIndex(std::uint32_t size) {
  if (size < kSmallLimit) return static_cast<int>(size >> 3);
  const int exponent = 31 - std::countl_zero(size);
  return 128 + (exponent - 10) * 4 + static_cast<int>((size >> (exponent - 2)) & 3);
}

std::uint64_t RoundUp(std::uint64_t value, std::uint64_t granularity) {
  return (value + granularity - 1) & ~(granularity - 1);
}

}  // namespace

// ===================================================================
// The region
// ===================================================================

namespace {

constexpr std::uintptr_t kLowRegionEnd = std::uintptr_t{1} << 31;
constexpr std::size_t kPlaceStep = std::size_t{64} << 20;  // and the first 64 MiB stay free
constexpr std::size_t kSizeStep = std::size_t{256} << 20;

}  // namespace

// Smaller sizes are tried when larger ones do not fit: a sanitizer's shadow
// memory, a position-dependent program and its C heap, or an emulator may
// hold parts of the low addresses. The highest place that fits is taken,
// leaving room for the C heap of a position-dependent program to grow.
void* ReserveLowRegion(std::size_t largest, std::size_t& size) {
  size = std::min<std::size_t>(largest, kLowRegionEnd - kPlaceStep) & ~(kPlaceStep - 1);
  for (; size >= kPlaceStep; size -= std::min(size / 2, kSizeStep)) {
    for (std::uintptr_t at = kLowRegionEnd - size; at >= kPlaceStep; at -= kPlaceStep) {
      if (void* region = platform::ReserveAddressSpaceAt(at, size)) return region;
    }
  }
  size = 0;
  return nullptr;
}

KEL_HEAP_INTERNAL LowHeap::LowHeap(void* base, std::size_t size)
    : base_(reinterpret_cast<std::uintptr_t>(base)), size_(size) {
  std::fill(std::begin(bins_), std::end(bins_), kNone);
  std::fill(std::begin(kept_), std::end(kept_), kNone);
}

// ===================================================================
// Chunk fields
// ===================================================================

KEL_HEAP_INTERNAL std::uint32_t& LowHeap::PrevSizeOf(Offset chunk) const {
  return *reinterpret_cast<std::uint32_t*>(base_ + chunk);
}
KEL_HEAP_INTERNAL std::uint32_t& LowHeap::TagOf(Offset chunk) const {
  return *reinterpret_cast<std::uint32_t*>(base_ + chunk + 4);
}
KEL_HEAP_INTERNAL std::uint32_t LowHeap::SizeOf(Offset chunk) const { return TagOf(chunk) & ~kFlags; }
KEL_HEAP_INTERNAL LowHeap::Offset& LowHeap::NextFree(Offset chunk) const {
  return *reinterpret_cast<Offset*>(base_ + chunk + kHeader);
}
KEL_HEAP_INTERNAL LowHeap::Offset& LowHeap::PrevFree(Offset chunk) const {
  return *reinterpret_cast<Offset*>(base_ + chunk + kHeader + 4);
}
void* LowHeap::Payload(Offset chunk) const { return reinterpret_cast<void*>(base_ + chunk + kHeader); }
LowHeap::Offset LowHeap::ChunkOf(const void* block) const {
  return static_cast<Offset>(reinterpret_cast<std::uintptr_t>(block) - base_ - kHeader);
}

std::size_t LowHeap::UsableSize(const void* block) const { return SizeOf(ChunkOf(block)) - kHeader; }

// ===================================================================
// Bins
// ===================================================================

KEL_HEAP_INTERNAL void LowHeap::Link(Offset chunk, std::uint32_t size) {
  const int bin = BinIndex(size);
  const Offset head = bins_[bin];
  NextFree(chunk) = head;
  PrevFree(chunk) = kNone;
  if (head != kNone) PrevFree(head) = chunk;
  bins_[bin] = chunk;
  binMap_[bin / 64] |= std::uint64_t{1} << (bin % 64);
}

KEL_HEAP_INTERNAL void LowHeap::Unlink(Offset chunk) {
  const Offset next = NextFree(chunk);
  const Offset prev = PrevFree(chunk);
  if (next != kNone) PrevFree(next) = prev;
  if (prev != kNone) {
    NextFree(prev) = next;
    return;
  }
  const int bin = BinIndex(SizeOf(chunk));
  bins_[bin] = next;
  if (next == kNone) binMap_[bin / 64] &= ~(std::uint64_t{1} << (bin % 64));
}

// A free chunk of at least [need] bytes, or kNone: a fitting one among the
// first few of the request's own bin, else any chunk of the next bin that
// holds one (every chunk there is large enough). The bound keeps a bin full
// of chunks just too small from costing a long walk on every request.
KEL_HEAP_INTERNAL LowHeap::Offset LowHeap::FindFit(std::uint32_t need) {
  constexpr int kLookedAt = 16;
  int bin = BinIndex(need);
  int looked = 0;
  for (Offset chunk = bins_[bin]; chunk != kNone && looked < kLookedAt; chunk = NextFree(chunk), ++looked) {
    if (SizeOf(chunk) >= need) return chunk;
  }
  for (int word = (bin + 1) / 64; word < static_cast<int>(std::size(binMap_)); ++word) {
    std::uint64_t bits = binMap_[word];
    if (word == (bin + 1) / 64) bits &= ~std::uint64_t{0} << ((bin + 1) % 64);
    if (bits != 0) return bins_[word * 64 + std::countr_zero(bits)];
  }
  return kNone;
}

// ===================================================================
// Top and committed pages
// ===================================================================

KEL_HEAP_INTERNAL bool LowHeap::EnsureCommitted(std::uint64_t end) {
  if (end <= committed_) return true;
  if (end > size_) return false;
  const std::uint64_t granularity = platform::PageGranularity();
  std::uint64_t want = std::min<std::uint64_t>(RoundUp(std::max(end, committed_ + kCommitStep), granularity), size_);
  if (!platform::CommitPages(reinterpret_cast<void*>(base_ + committed_), want - committed_)) {
    want = RoundUp(end, granularity);  // the step may be what the system cannot give
    if (!platform::CommitPages(reinterpret_cast<void*>(base_ + committed_), want - committed_)) return false;
  }
  committed_ = static_cast<std::size_t>(want);
  return true;
}

KEL_HEAP_INTERNAL LowHeap::Offset LowHeap::TakeFromTop(std::uint32_t need) {
  const Offset chunk = top_;
  if (!EnsureCommitted(std::uint64_t{chunk} + need)) return kNone;
  TagOf(chunk) = need | kInUse | kPrevInUse;
  top_ = chunk + need;
  return chunk;
}

// Gives the pages far above the top back to the system.
KEL_HEAP_INTERNAL void LowHeap::TrimTop() {
  const std::uint64_t granularity = platform::PageGranularity();
  const std::uint64_t keep = RoundUp(std::uint64_t{top_} + kKeepAtTop, granularity);
  if (committed_ <= keep + releaseSize_) return;
  platform::DecommitPages(reinterpret_cast<void*>(base_ + keep), committed_ - keep);
  committed_ = static_cast<std::size_t>(keep);
}

// ===================================================================
// Taking and giving back chunks
// ===================================================================

// Marks the free chunk [chunk] (out of its bin) in use for [need] bytes; a
// remainder large enough to be a chunk goes back to a bin.
KEL_HEAP_INTERNAL void LowHeap::Use(Offset chunk, std::uint32_t need) {
  const std::uint32_t size = SizeOf(chunk);
  if (size - need >= kMinChunk) {
    const Offset rest = chunk + need;
    const std::uint32_t restSize = size - need;
    TagOf(chunk) = need | kInUse | kPrevInUse;
    TagOf(rest) = restSize | kPrevInUse;
    PrevSizeOf(rest + restSize) = restSize;
    Link(rest, restSize);
    return;
  }
  TagOf(chunk) = size | kInUse | kPrevInUse;
  TagOf(chunk + size) |= kPrevInUse;  // a free chunk never borders the top
}

// Cuts the in-use [chunk] down to [need] bytes, freeing what is left over.
KEL_HEAP_INTERNAL void LowHeap::Shrink(Offset chunk, std::uint32_t need) {
  const std::uint32_t size = SizeOf(chunk);
  if (size - need < kMinChunk) return;
  TagOf(chunk) = need | (TagOf(chunk) & kFlags);
  const Offset rest = chunk + need;
  TagOf(rest) = (size - need) | kInUse | kPrevInUse;
  Release(rest);
}

// Frees the in-use [chunk], joining it with free neighbours or the top.
KEL_HEAP_INTERNAL void LowHeap::Release(Offset chunk) {
  const Offset freed = chunk;
  const std::uint32_t freedSize = SizeOf(chunk);
  std::uint32_t size = freedSize;
  if ((TagOf(chunk) & kPrevInUse) == 0) {
    const std::uint32_t prevSize = PrevSizeOf(chunk);
    chunk -= prevSize;
    Unlink(chunk);
    size += prevSize;
  }
  const Offset next = chunk + size;
  if (next == top_) {
    top_ = chunk;
    if (freedSize >= kFirstReleaseSize) releaseSize_ = std::clamp(freedSize, releaseSize_, kLastReleaseSize);
    TrimTop();
    return;
  }
  if ((TagOf(next) & kInUse) == 0) {
    Unlink(next);
    size += SizeOf(next);
  } else {
    TagOf(next) &= ~kPrevInUse;
  }
  TagOf(chunk) = size | kPrevInUse;
  PrevSizeOf(chunk + size) = size;
  Link(chunk, size);
  if (freedSize >= kFirstReleaseSize && freedSize > releaseSize_) {
    // Only the freed block's own pages: its neighbours were dealt with when
    // they were freed, and the links at the chunk's start must stay.
    platform::DiscardPages(reinterpret_cast<void*>(base_ + freed + kMinChunk), freedSize - kMinChunk);
    releaseSize_ = std::min(freedSize, kLastReleaseSize);
  }
}

// ===================================================================
// The interface
// ===================================================================

KEL_HEAP_INTERNAL void* LowHeap::Allocate(std::size_t bytes) {
  if (bytes > kLargestRequest) return nullptr;
  const std::uint32_t need = ChunkSize(bytes);
  if (need < kSmallLimit) {
    const int bin = BinIndex(need);
    if (const Offset kept = kept_[bin]; kept != kNone) {
      kept_[bin] = NextFree(kept);
      --keptCount_[bin];
      return Payload(kept);
    }
  }
  Offset chunk = FindFit(need);
  if (chunk != kNone) {
    Unlink(chunk);
    Use(chunk, need);
  } else if ((chunk = TakeFromTop(need)) == kNone) {
    return nullptr;
  }
  return Payload(chunk);
}

KEL_HEAP_INTERNAL void* LowHeap::Reallocate(void* block, std::size_t bytes) {
  if (block == nullptr) return Allocate(bytes);
  if (bytes > kLargestRequest) return nullptr;
  const std::uint32_t need = ChunkSize(bytes);
  const Offset chunk = ChunkOf(block);
  const std::uint32_t size = SizeOf(chunk);
  if (need <= size) {
    Shrink(chunk, need);
    return block;
  }
  const Offset next = chunk + size;
  if (next == top_) {
    if (EnsureCommitted(std::uint64_t{chunk} + need)) {
      TagOf(chunk) = need | (TagOf(chunk) & kFlags);
      top_ = chunk + need;
      return block;
    }
  } else if ((TagOf(next) & kInUse) == 0 && size + SizeOf(next) >= need) {
    const std::uint32_t joined = size + SizeOf(next);
    Unlink(next);
    TagOf(chunk) = joined | (TagOf(chunk) & kFlags);
    TagOf(chunk + joined) |= kPrevInUse;  // a free chunk never borders the top
    Shrink(chunk, need);
    return block;
  }
  void* moved = Allocate(bytes);
  if (moved == nullptr) return nullptr;
  std::memcpy(moved, block, size - kHeader);
  Free(block);
  return moved;
}

KEL_HEAP_INTERNAL void LowHeap::Free(void* block) {
  if (block == nullptr) return;
  const Offset chunk = ChunkOf(block);
  const std::uint32_t size = SizeOf(chunk);
  if (size < kSmallLimit) {
    const int bin = BinIndex(size);
    if (keptCount_[bin] < kKeptPerSize) {
      NextFree(chunk) = kept_[bin];
      kept_[bin] = chunk;
      ++keptCount_[bin];
      return;
    }
  }
  Release(chunk);
}

}  // namespace kel
