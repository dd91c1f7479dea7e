// Number and string literal decoding.

#include <gtest/gtest.h>

#include "base/literals.h"

namespace kel {
namespace {

TEST(NumberLiteral, IntegerAndFloatByLongestParse) {
  EXPECT_FALSE(ParseNumber("010").isFloat);
  EXPECT_EQ(ParseNumber("010").integer, 8);
  EXPECT_EQ(ParseNumber("0x10").integer, 16);
  EXPECT_EQ(ParseNumber("0x10").length, 4u);
  EXPECT_EQ(ParseNumber("0xFFFFFFFF").integer, -1);
  EXPECT_TRUE(ParseNumber("1.5").isFloat);
  EXPECT_DOUBLE_EQ(ParseNumber("1e3").real, 1000.0);
  EXPECT_TRUE(ParseNumber(".5").isFloat);
  EXPECT_DOUBLE_EQ(ParseNumber(".5").real, 0.5);
  // "08" is no octal number, but a complete float.
  EXPECT_TRUE(ParseNumber("08").isFloat);
  EXPECT_DOUBLE_EQ(ParseNumber("08").real, 8.0);
  // A tie goes to the integer.
  EXPECT_FALSE(ParseNumber("42;").isFloat);
  EXPECT_EQ(ParseNumber("42;").length, 2u);
}

TEST(NumberLiteral, OverflowSaturatesLikeStrtol) {
  EXPECT_EQ(ParseNumber("2147483647").integer, 2147483647);
  EXPECT_EQ(ParseNumber("3000000000").integer, 2147483647);
  EXPECT_EQ(ParseNumber("0x123456789").integer, -1);
}

TEST(NumberLiteral, StopsAtWhatCannotContinue) {
  EXPECT_EQ(ParseNumber("0x").length, 1u);
  EXPECT_EQ(ParseNumber("1e").length, 1u);
  EXPECT_EQ(ParseNumber("1e+5x").length, 4u);
  EXPECT_EQ(ParseNumber("10L").length, 2u);
}

TEST(QuotedLiteral, Escapes) {
  auto literal = ParseQuoted(R"("a\tb\n\x41\101\q\"")");
  ASSERT_TRUE(literal);
  EXPECT_EQ(literal->bytes, "a\tb\nAAq\"");
  EXPECT_EQ(literal->length, 20u);
}

TEST(QuotedLiteral, BackQuotesKeepBackslashes) {
  auto literal = ParseQuoted(R"(`C:\temp\new` rest)");
  ASSERT_TRUE(literal);
  EXPECT_EQ(literal->bytes, R"(C:\temp\new)");
}

TEST(QuotedLiteral, OctalAboveByteKeepsLowBits) {
  auto literal = ParseQuoted(R"("\777")");
  ASSERT_TRUE(literal);
  EXPECT_EQ(static_cast<unsigned char>(literal->bytes[0]), 0xFF);
}

TEST(QuotedLiteral, UnterminatedOnTheLine) {
  EXPECT_FALSE(ParseQuoted(R"("abc)"));
  EXPECT_FALSE(ParseQuoted(R"("abc\")"));
  EXPECT_FALSE(ParseQuoted(R"('x)"));
}

}  // namespace
}  // namespace kel
