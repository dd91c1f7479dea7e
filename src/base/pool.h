#pragma once
// A free-list pool for the small records the interpreter makes and drops all
// the time (tokens, values, variables): allocation is a pointer pop, and the
// records of a type sit together in large blocks.
//
// NOTE: sanitizer builds define KEL_PLAIN_ALLOCATION so that every record is
// its own heap block and leaks or stale uses of records are reported.

#include <cstddef>
#include <cstdlib>
#include <vector>

#include "base/memory.h"

namespace kel {

// Where a pool's records live: the C heap, or storage scripts can take the
// address of (AllocateAddressable), for records that hold script numbers.
enum class PoolStorage { Heap, Addressable };

template <typename T, PoolStorage kStorage = PoolStorage::Heap>
class Pool {
 public:
  Pool() = default;
  Pool(const Pool&) = delete;
  Pool& operator=(const Pool&) = delete;
  ~Pool() {
    for (void* block : blocks_) Release(block);
  }

  // Raw storage for one T; the caller constructs it.
  T* Allocate() {
#ifdef KEL_PLAIN_ALLOCATION
    return static_cast<T*>(Obtain(sizeof(T)));
#else
    if (free_ != nullptr) {
      Slot* slot = free_;
      free_ = slot->next;
      return reinterpret_cast<T*>(slot);
    }
    if (unused_ == end_) Grow();
    return reinterpret_cast<T*>(unused_++);
#endif
  }

  // Returns [item] (already destroyed or trivially destructible) to the pool.
  void Free(T* item) {
#ifdef KEL_PLAIN_ALLOCATION
    Release(item);
#else
    Slot* slot = reinterpret_cast<Slot*>(item);
    slot->next = free_;
    free_ = slot;
#endif
  }

 private:
  union Slot {
    Slot* next;
    alignas(T) unsigned char storage[sizeof(T)];
  };
  static constexpr std::size_t kBlockItems = 512;

  static void* Obtain(std::size_t bytes) {
    if constexpr (kStorage == PoolStorage::Addressable) return AllocateAddressable(bytes);
    return CheckedMalloc(bytes);
  }

  static void Release(void* block) {
    if constexpr (kStorage == PoolStorage::Addressable) {
      FreeAddressable(block);
    } else {
      std::free(block);
    }
  }

  // OPTIMIZATION: a new block's records are handed out in order, not threaded
  // onto the free list, so a block's pages are touched only as it fills.
  void Grow() {
    Slot* slots = static_cast<Slot*>(Obtain(sizeof(Slot) * kBlockItems));
    blocks_.push_back(slots);
    unused_ = slots;
    end_ = slots + kBlockItems;
  }

  Slot* free_ = nullptr;
  Slot* unused_ = nullptr;  // the rest of the newest block, never handed out
  Slot* end_ = nullptr;
  std::vector<void*> blocks_;
};

}  // namespace kel
