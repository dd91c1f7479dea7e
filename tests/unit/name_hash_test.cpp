// Names compare and hash with only 'A'-'Z' folded, whatever their length and
// wherever the letters stand; the hash must spread names that differ in one
// byte, or a structure used as a dictionary would collide.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "base/text.h"

namespace kel {
namespace {

TEST(NameHash, EqualNamesHashAlikeAtEveryLength) {
  std::string lower = "abcdefghijklmnopqrstuvwxyz_0123456789";
  for (int c = 128; c < 256; ++c) lower += static_cast<char>(c);  // not folded
  std::string upper = lower;
  for (char& c : upper) c = AsciiUpper(c);
  for (std::size_t length = 0; length <= lower.size(); ++length) {
    const std::string_view a(lower.data(), length), b(upper.data(), length);
    EXPECT_TRUE(EqualsIgnoreCase(a, b));
    EXPECT_EQ(NameHash{}(a), NameHash{}(b)) << length;
  }
  EXPECT_FALSE(EqualsIgnoreCase("key1", "key2"));
  EXPECT_FALSE(EqualsIgnoreCase("abcdefgh_longer1", "ABCDEFGH_LONGER2"));  // past the first word
  EXPECT_TRUE(EqualsIgnoreCase("abcdefgh_Longer1", "ABCDEFGH_lONGER1"));
  EXPECT_FALSE(EqualsIgnoreCase("a@", "a`"));  // '@' and '`' are no letters
  EXPECT_NE(NameHash{}("a@"), NameHash{}("a`"));
}

TEST(NameHash, OfTextHashesAsTheViewAndMeasuresTheText) {
  for (const char* text : {"", "a", "Key17", "abcdefgh_Longer_Than_A_Word", "\xC4x"}) {
    std::size_t length = 99;
    EXPECT_EQ(NameHash::OfText(text, length), NameHash{}(text)) << text;
    EXPECT_EQ(length, std::string_view(text).size()) << text;
  }
}

TEST(NameHash, SpreadsNamesThatDifferInOneByteOverTheLowBits) {
  // Names as a dictionary script makes them: the same prefix, a number after.
  std::set<std::size_t> slots;
  for (int i = 0; i < 2000; ++i) slots.insert(NameHash{}("key" + std::to_string(i)) & 4095);
  EXPECT_GT(slots.size(), 1400u);  // a fair spread over 4096 slots keeps most apart
  EXPECT_NE(NameHash{}("abcdefgh1"), NameHash{}("abcdefgh2"));
  EXPECT_NE(NameHash{}("x"), NameHash{}(std::string_view("x\0", 2)));
}

}  // namespace
}  // namespace kel
