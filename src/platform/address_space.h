#pragma once
// Low address space: scripts hold addresses (pointer, peek, poke) in
// 32-bit integers, so the storage they can point at must lie there even in a
// 64-bit process.

#include <cstddef>

namespace kel::platform {

// Where reservations end: below 2 GiB, so that the addresses scripts hold are
// positive numbers, as in a 32-bit Windows process.
constexpr unsigned long long kScriptAddressLimit = 1ull << 31;

// Reserves, without committing memory, the largest region it finds of at most
// [wanted] bytes that lies wholly below kScriptAddressLimit (and above the
// first 64 MiB). Returns its start and sets [got] to its size, or returns
// null with [got] 0.
void* ReserveLowAddressSpace(std::size_t wanted, std::size_t& got);

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

// The granularity of reservations and commitments (a power of two).
std::size_t PageGranularity();

}  // namespace kel::platform
