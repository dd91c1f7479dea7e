#pragma once
// Allocation that never returns null: a failure is the fatal message 0003.

#include <cstddef>
#include <cstdint>

namespace kel {

void* CheckedMalloc(std::size_t bytes);
void* CheckedRealloc(void* block, std::size_t bytes);

// Storage a script can take the address of (array elements, number cells),
// placed where the address fits a script integer whenever the system allows:
// in a 64-bit process, a heap below 2 GiB. Blocks are 8-byte aligned and
// never null (failure is the fatal message 0003); a block may lie higher only
// when that heap is full or could not be set up, which AddressableBy32Bits
// tells.
void* AllocateAddressable(std::size_t bytes);
void* ReallocateAddressable(void* block, std::size_t bytes);
void FreeAddressable(void* block);

// True when [address] can be handed to a script as an unsigned 32-bit value.
inline bool AddressableBy32Bits(const void* address) {
  return reinterpret_cast<std::uintptr_t>(address) <= 0xFFFFFFFFu;
}

}  // namespace kel
