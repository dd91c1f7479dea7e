#pragma once
// A heap inside one reserved region of address space below 4 GiB: where a
// 64-bit process keeps the storage scripts can take addresses of (array
// elements and number cells), so that those addresses fit a script integer.
//
// Blocks carry an 8-byte boundary tag; free blocks are coalesced with their
// neighbours and kept in size bins (exact sizes below 1 KiB, four bins per
// power of two above), with a bitmap of the bins that hold any. The last few
// small blocks freed of each size are kept aside, uncoalesced, for the next
// request of that size. Pages are committed as the heap grows and given back
// when its top shrinks.
//
// NOTE: not thread-safe; only the interpreter thread allocates script storage.

#include <cstddef>
#include <cstdint>

namespace kel {

// Reserves the region for a LowHeap: as large as a place below 2 GiB allows,
// up to [largest] bytes, so that the addresses scripts hold are positive
// numbers, as in a 32-bit Windows process. Returns its start and sets [size],
// or returns null with [size] 0.
void* ReserveLowRegion(std::size_t largest, std::size_t& size);

class LowHeap {
 public:
  // Manages the reservation [base, base + size) made by ReserveLowRegion (or
  // any reservation that ends below 4 GiB).
  LowHeap(void* base, std::size_t size);
  LowHeap(const LowHeap&) = delete;
  LowHeap& operator=(const LowHeap&) = delete;

  // A block of at least [bytes], 8-byte aligned, or null when the region is
  // full or the system has no memory to commit.
  void* Allocate(std::size_t bytes);

  // [block] (null: a new one) resized to [bytes], grown in place where its
  // neighbour is free, otherwise moved. Null, with [block] unchanged, when
  // there is no room.
  void* Reallocate(void* block, std::size_t bytes);

  // Gives [block], which this heap made, back.
  void Free(void* block);

  // True when [block] lies in this heap's region.
  bool Owns(const void* block) const {
    auto at = reinterpret_cast<std::uintptr_t>(block);
    return at >= base_ && at < base_ + size_;
  }

  // The bytes [block] can hold (at least what was asked for).
  std::size_t UsableSize(const void* block) const;

  // Bytes of the region currently committed (for tests and measurements).
  std::size_t CommittedBytes() const { return committed_; }

 private:
  using Offset = std::uint32_t;
  static constexpr int kBinCount = 216;
  static constexpr int kSmallBinCount = 128;

  std::uint32_t& PrevSizeOf(Offset chunk) const;
  std::uint32_t& TagOf(Offset chunk) const;
  std::uint32_t SizeOf(Offset chunk) const;
  Offset& NextFree(Offset chunk) const;
  Offset& PrevFree(Offset chunk) const;
  void* Payload(Offset chunk) const;
  Offset ChunkOf(const void* block) const;

  void Link(Offset chunk, std::uint32_t size);
  void Unlink(Offset chunk);
  Offset FindFit(std::uint32_t need);
  bool EnsureCommitted(std::uint64_t end);
  Offset TakeFromTop(std::uint32_t need);
  void TrimTop();
  void Use(Offset chunk, std::uint32_t need);
  void Shrink(Offset chunk, std::uint32_t need);
  void Release(Offset chunk);

  std::uintptr_t base_;
  std::size_t size_;
  std::size_t committed_ = 0;  // bytes from the start that are committed
  Offset top_ = 0;             // start of the untouched space at the end
  // The size of the largest block whose pages were given back lately: blocks
  // up to it keep theirs (see Release).
  std::uint32_t releaseSize_ = 0;
  Offset bins_[kBinCount];
  std::uint64_t binMap_[(kBinCount + 63) / 64] = {};
  // OPTIMIZATION: small blocks freed lately, still marked in use, by size:
  // making and dropping short texts and small arrays then costs a pop and a
  // push, as in the C library's per-thread caches.
  Offset kept_[kSmallBinCount];
  std::uint8_t keptCount_[kSmallBinCount] = {};
};

}  // namespace kel
