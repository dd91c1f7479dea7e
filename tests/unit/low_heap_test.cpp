// The low heap: blocks never overlap, keep their contents through growth and
// moves, are reused after being freed, and all lie below 2 GiB;
// a full region says so instead of handing out a block it does not have.

#include "base/low_heap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <vector>

#include "base/memory.h"

namespace {

using kel::LowHeap;

// One reservation serves every test: each builds a new heap on it. It is
// made as the test program starts, before other tests' values have the
// interpreter's own heap take the low addresses, of which an emulator
// leaves few.
std::size_t reservedSize = 0;
void* const reservedRegion =
    sizeof(void*) > 4 ? kel::ReserveLowRegion(std::size_t{256} << 20, reservedSize) : nullptr;

class LowHeapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if constexpr (sizeof(void*) <= 4) GTEST_SKIP() << "a 32-bit process needs no low heap";
    base_ = reservedRegion;
    size_ = reservedSize;
    ASSERT_NE(base_, nullptr);
  }
  void* base_ = nullptr;
  std::size_t size_ = 0;
};

struct Block {
  std::size_t size;
  std::uint8_t fill;
};

void Fill(void* block, const Block& what) { std::memset(block, what.fill, what.size); }

bool Holds(const void* block, const Block& what) {
  const auto* bytes = static_cast<const std::uint8_t*>(block);
  for (std::size_t i = 0; i < what.size; ++i) {
    if (bytes[i] != what.fill) return false;
  }
  return true;
}

TEST_F(LowHeapTest, RandomWorkKeepsEveryBlockIntact) {
  LowHeap heap(base_, size_);
  std::mt19937 random(3);
  std::map<std::uint8_t*, Block> live;
  for (int step = 0; step < 60000; ++step) {
    const unsigned choice = random() % 10;
    // Mostly small blocks, some of tens of kilobytes, a few of megabytes.
    std::size_t size = random() % 200;
    if (random() % 20 == 0) size = random() % 60000;
    if (random() % 2000 == 0) size = random() % (3u << 20);
    if (choice < 5 || live.empty()) {
      auto* block = static_cast<std::uint8_t*>(heap.Allocate(size));
      ASSERT_NE(block, nullptr);
      ASSERT_EQ(reinterpret_cast<std::uintptr_t>(block) % 8, 0u);
      ASSERT_LE(reinterpret_cast<std::uintptr_t>(block) + size, std::uintptr_t{1} << 31);
      ASSERT_GE(heap.UsableSize(block), size);
      Block what{size, static_cast<std::uint8_t>(random())};
      Fill(block, what);
      live[block] = what;
    } else {
      auto at = live.begin();
      std::advance(at, static_cast<long>(random() % live.size()));
      ASSERT_TRUE(Holds(at->first, at->second)) << "block of " << at->second.size << " changed";
      if (choice < 8) {
        heap.Free(at->first);
        live.erase(at);
      } else {
        Block what = at->second;
        auto* moved = static_cast<std::uint8_t*>(heap.Reallocate(at->first, size));
        ASSERT_NE(moved, nullptr);
        what.size = std::min(what.size, size);
        ASSERT_TRUE(Holds(moved, what)) << "contents lost in a resize";
        what.size = size;
        Fill(moved, what);
        live.erase(at);
        live[moved] = what;
      }
    }
  }
  // No two live blocks overlap, and each still holds what was written.
  std::uint8_t* end = nullptr;
  for (auto& [block, what] : live) {
    ASSERT_TRUE(end == nullptr || block >= end);
    ASSERT_TRUE(Holds(block, what));
    end = block + what.size;
  }
  for (auto& entry : live) heap.Free(entry.first);
  // Everything freed went back to the top, and the top gave its pages back.
  EXPECT_LE(heap.CommittedBytes(), std::size_t{40} << 20);
}

TEST_F(LowHeapTest, FreedSpaceIsReusedAndNeighboursJoin) {
  LowHeap heap(base_, size_);
  void* a = heap.Allocate(3000);
  void* b = heap.Allocate(3000);
  void* c = heap.Allocate(3000);
  heap.Free(a);
  heap.Free(b);  // joins a
  void* joined = heap.Allocate(6000);
  EXPECT_EQ(joined, a);
  // The last block grows in place into the space above it.
  void* grown = heap.Reallocate(c, 100000);
  EXPECT_EQ(grown, c);
  heap.Free(joined);
  heap.Free(grown);
  EXPECT_EQ(heap.Allocate(16), a);
}

TEST_F(LowHeapTest, SmallBlocksFreedLatelyComeBackFirst) {
  LowHeap heap(base_, size_);
  void* small[10];
  for (void*& block : small) block = heap.Allocate(40);
  for (void* block : small) heap.Free(block);
  // The last freed of a size is the next given; the kept ones do not join
  // their neighbours, so a block of another size comes from elsewhere.
  EXPECT_EQ(heap.Allocate(40), small[9]);
  EXPECT_EQ(heap.Allocate(33), small[8]);  // the same size once rounded
  auto* other = static_cast<char*>(heap.Allocate(100));
  EXPECT_TRUE(other < static_cast<char*>(small[0]) || other > static_cast<char*>(small[9]));
}

TEST_F(LowHeapTest, AFullRegionGivesNull) {
  LowHeap heap(base_, std::size_t{1} << 20);
  void* first = heap.Allocate(600000);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(heap.Allocate(600000), nullptr);
  EXPECT_EQ(heap.Reallocate(first, 2000000), nullptr);
  std::memset(first, 1, 600000);  // still usable after the failed resize
  heap.Free(first);
  EXPECT_NE(heap.Allocate(900000), nullptr);
}

TEST(AddressableStorage, FitsAScriptInteger) {
  for (std::size_t size : {std::size_t{1}, std::size_t{100}, std::size_t{1} << 20, std::size_t{40} << 20}) {
    void* block = kel::AllocateAddressable(size);
    EXPECT_TRUE(kel::AddressableBy32Bits(static_cast<char*>(block) + size - 1));
    block = kel::ReallocateAddressable(block, size * 2);
    EXPECT_TRUE(kel::AddressableBy32Bits(static_cast<char*>(block) + size * 2 - 1));
    kel::FreeAddressable(block);
  }
}

#if !defined(__SANITIZE_ADDRESS__)
// When the low heap is full, storage still comes (from the C heap), and
// AddressableBy32Bits is how pointer() learns that it may lie too high.
// Pages are committed but never touched, so this costs address space only.
TEST(AddressableStorage, BeyondTheLowHeapStorageStillComes) {
  if constexpr (sizeof(void*) <= 4) GTEST_SKIP() << "a 32-bit process needs no low heap";
  constexpr std::size_t kBlock = std::size_t{256} << 20;
  std::vector<char*> blocks;
  while (blocks.size() < 12) {
    blocks.push_back(static_cast<char*>(kel::AllocateAddressable(kBlock)));
    if (reinterpret_cast<std::uintptr_t>(blocks.back()) >= (std::uintptr_t{1} << 31)) break;
  }
  ASSERT_GE(reinterpret_cast<std::uintptr_t>(blocks.back()), std::uintptr_t{1} << 31) << "the low heap never filled";
  blocks.back()[kBlock - 1] = 7;
  // A low block that must grow beyond the room left moves out, keeping its bytes.
  blocks.front()[0] = 5;
  char* moved = static_cast<char*>(kel::ReallocateAddressable(blocks.front(), kBlock * 2));
  EXPECT_EQ(moved[0], 5);
  blocks.front() = moved;
  for (char* block : blocks) kel::FreeAddressable(block);
  // Freed, the low heap serves again.
  void* again = kel::AllocateAddressable(kBlock);
  EXPECT_LT(reinterpret_cast<std::uintptr_t>(again), std::uintptr_t{1} << 31);
  kel::FreeAddressable(again);
}
#endif

#if defined(__SANITIZE_ADDRESS__)
// Sanitizer builds watch script storage as they watch the C heap.
TEST(AddressableStorageDeathTest, OverrunsAndStaleUsesAreReported) {
  auto* block = static_cast<volatile char*>(kel::AllocateAddressable(10));
  block[9] = 1;
  EXPECT_DEATH(block[10] = 1, "use-after-poison");
  kel::FreeAddressable(const_cast<char*>(block));
  EXPECT_DEATH(block[0] = 1, "use-after-poison");
}
#endif

}  // namespace
