#pragma once
// Address space reserved at a chosen place and committed piece by piece:
// where a 64-bit process keeps the storage scripts can take the address of,
// low enough for a 32-bit script integer.

#include <cstddef>
#include <cstdint>

namespace kel::platform {

// Reserves, without committing memory, the [bytes] at [address] (a multiple
// of PageGranularity): exactly there, or not at all (null) when any of it is
// taken already.
void* ReserveAddressSpaceAt(std::uintptr_t address, std::size_t bytes);

// Makes the [bytes] at [at] (a page-aligned part of a reservation) readable and
// writable, reading as zeros. False when the system has no memory for them.
[[nodiscard]] bool CommitPages(void* at, std::size_t bytes);

// Returns the memory behind committed pages to the system; they stay reserved
// and may be committed again.
void DecommitPages(void* at, std::size_t bytes);

// Lets the system drop the contents of the whole pages inside the committed
// [bytes] at [at], which hold nothing of value: they stay usable, and what
// they read afterwards is unspecified.
void DiscardPages(void* at, std::size_t bytes);

// Makes the [bytes] at [at] (private memory: any heap block) read as zeros.
// Where the system allows, the whole pages inside are handed back to be
// filled with zeros when first touched, so that a large array a script uses
// only a little of costs neither the time to clear it nor the memory.
void ClearMemory(void* at, std::size_t bytes);

// The granularity of reservations and commitments (a power of two).
std::size_t PageGranularity();

}  // namespace kel::platform
