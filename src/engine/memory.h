#pragma once
// Allocation that never returns null: a failure is the fatal message 0003.

#include <cstddef>

namespace kel {

void* CheckedMalloc(std::size_t bytes);
void* CheckedRealloc(void* block, std::size_t bytes);

}  // namespace kel
