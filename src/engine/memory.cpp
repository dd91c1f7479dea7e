// Allocation that ends the process with message 0003 when memory runs out.

#include "engine/memory.h"

#include <cstdlib>

#include "engine/messages.h"

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

}  // namespace kel
