// Clearing by the page: every byte of the range reads zero afterwards,
// whether it lay in a whole page given back or in the partial pages at either
// end, and nothing outside the range changes. Ranges of heap blocks and of
// blocks reused after being filled, at odd starts and ends.

#include "platform/address_space.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void ExpectCleared(const unsigned char* block, std::size_t size, std::size_t from, std::size_t count) {
  for (std::size_t i = 0; i < size; ++i) {
    const unsigned char expected = (i >= from && i < from + count) ? 0 : 0xAB;
    ASSERT_EQ(block[i], expected) << "at " << i << " of a range " << from << "+" << count;
  }
}

TEST(ClearMemoryTest, ClearsExactlyTheRange) {
  constexpr std::size_t kSize = std::size_t{12} << 20;
  auto* block = static_cast<unsigned char*>(std::malloc(kSize));
  ASSERT_NE(block, nullptr);
  const std::size_t ranges[][2] = {{0, kSize}, {1, kSize - 2}, {4095, 8 << 20}, {12345, 3}, {70000, 0}, {4096, 4096}};
  for (const auto& range : ranges) {
    std::memset(block, 0xAB, kSize);
    kel::platform::ClearMemory(block + range[0], range[1]);
    ExpectCleared(block, kSize, range[0], range[1]);
  }
  std::free(block);
}

TEST(ClearMemoryTest, ReusedBlocksReadZero) {
  // A block freed full of bytes and handed out again is cleared as well.
  for (int round = 0; round < 3; ++round) {
    std::vector<unsigned char> filled(std::size_t{6} << 20, 0xAB);
    unsigned char* at = filled.data() + 100;
    kel::platform::ClearMemory(at, filled.size() - 200);
    ExpectCleared(filled.data(), filled.size(), 100, filled.size() - 200);
  }
}

}  // namespace
