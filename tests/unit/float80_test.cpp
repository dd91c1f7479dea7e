// The software extended format must agree with the x87 wherever the machine's
// long double is that format, and keep its rules (exact widening, rounding to
// nearest even, overflow to infinity, gradual underflow) everywhere.

#include "library/float80.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace {

using kel::DecodeFloat80;
using kel::EncodeFloat80;

struct Extended {
  std::uint64_t significand;
  std::uint16_t head;
};

Extended Bytes(double value) {
  std::uint8_t bytes[10];
  EncodeFloat80(value, bytes);
  Extended result;
  std::memcpy(&result.significand, bytes, 8);
  std::memcpy(&result.head, bytes + 8, 2);
  return result;
}

double Decode(std::uint64_t significand, std::uint16_t head) {
  std::uint8_t bytes[10];
  std::memcpy(bytes, &significand, 8);
  std::memcpy(bytes + 8, &head, 2);
  return DecodeFloat80(bytes);
}

TEST(Float80, KnownPatterns) {
  EXPECT_EQ(Bytes(1.0).significand, 0x8000000000000000ull);
  EXPECT_EQ(Bytes(1.0).head, 0x3FFF);
  EXPECT_EQ(Bytes(-2.0).head, 0xC000);
  EXPECT_EQ(Bytes(0.0).head, 0);
  EXPECT_EQ(Bytes(-0.0).head, 0x8000);
  EXPECT_EQ(Bytes(INFINITY).head, 0x7FFF);
  EXPECT_EQ(Bytes(INFINITY).significand, 0x8000000000000000ull);
  // The smallest subnormal double, 2^-1074, is a normal extended value.
  EXPECT_EQ(Bytes(std::numeric_limits<double>::denorm_min()).head, 16383 - 1074);
  EXPECT_EQ(Bytes(std::numeric_limits<double>::denorm_min()).significand, 0x8000000000000000ull);
}

TEST(Float80, EveryDoubleSurvivesTheRoundTrip) {
  std::mt19937_64 random(7);
  for (int i = 0; i < 200000; ++i) {
    const double value = std::bit_cast<double>(random());
    std::uint8_t bytes[10];
    EncodeFloat80(value, bytes);
    const double back = DecodeFloat80(bytes);
    if (std::isnan(value)) {
      EXPECT_TRUE(std::isnan(back));
    } else {
      EXPECT_EQ(std::bit_cast<std::uint64_t>(back), std::bit_cast<std::uint64_t>(value)) << value;
    }
  }
}

TEST(Float80, NarrowingRoundsToNearestEven) {
  // 1 + 2^-53 is half way between 1 and the next double: ties go to 1.
  EXPECT_EQ(Decode(0x8000000000000400ull, 0x3FFF), 1.0);
  EXPECT_EQ(Decode(0x8000000000000401ull, 0x3FFF), 1.0 + DBL_EPSILON);
  EXPECT_EQ(Decode(0x8000000000000C00ull, 0x3FFF), 1.0 + 2 * DBL_EPSILON);
  // All ones rounds up into the next binade.
  EXPECT_EQ(Decode(0xFFFFFFFFFFFFFFFFull, 0x3FFF), 2.0);
  // Beyond the double range: infinity; below it: subnormals, then zero.
  EXPECT_EQ(Decode(0x8000000000000000ull, 0x3FFF + 1024), INFINITY);
  EXPECT_EQ(Decode(0x8000000000000000ull, 0xBFFF + 1024), -INFINITY);
  EXPECT_EQ(Decode(0x8000000000000000ull, 0x3FFF - 1074), std::numeric_limits<double>::denorm_min());
  EXPECT_EQ(Decode(0x8000000000000000ull, 0x3FFF - 1075), 0.0);  // exactly half: to even
  EXPECT_EQ(Decode(0x8000000000000001ull, 0x3FFF - 1075), std::numeric_limits<double>::denorm_min());
  EXPECT_EQ(Decode(0x8000000000000000ull, 1), 0.0);
  EXPECT_TRUE(std::isnan(Decode(0xC000000000000000ull, 0x7FFF)));
  EXPECT_TRUE(std::isnan(Decode(0x0000000000000001ull, 0x7FFF)));
  EXPECT_TRUE(std::isnan(Decode(0x4000000000000000ull, 0x3FFF)));  // an unnormal
  EXPECT_EQ(Decode(0x8000000000000000ull, 0), 0.0);  // a pseudo-denormal, far below the doubles
}

#if LDBL_MANT_DIG == 64
// Where the C library's long double is the extended format, it is the judge.
TEST(Float80, AgreesWithTheMachine) {
  std::mt19937_64 random(11);
  for (int i = 0; i < 200000; ++i) {
    std::uint8_t bytes[16] = {};
    const std::uint64_t significand = random() | (i % 3 == 0 ? 0 : 0x8000000000000000ull);
    // Exponents around the double range, where rounding and underflow happen.
    const std::uint16_t head = static_cast<std::uint16_t>(((random() % 2400) + 16383 - 1200) | (i % 2 ? 0x8000 : 0));
    std::memcpy(bytes, &significand, 8);
    std::memcpy(bytes + 8, &head, 2);
    long double extended;
    std::memcpy(&extended, bytes, sizeof extended < 16 ? sizeof extended : 16);
    const double expected = static_cast<double>(extended);
    const double ours = DecodeFloat80(bytes);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(ours), std::bit_cast<std::uint64_t>(expected))
        << std::hex << significand << " " << head;
  }
}
#endif

}  // namespace
