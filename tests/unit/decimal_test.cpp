// The fixed-point writer must give the C formatter's text for every value it
// takes: exact ties, values just beside them, tiny, negative and large ones.

#include "library/decimal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

namespace {

std::string ByC(double value, int precision) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", precision, value);
  return text;
}

void ExpectSameAsC(double value, int precision) {
  std::string ours;
  ASSERT_TRUE(kel::AppendFixed(ours, value, precision)) << value;
  EXPECT_EQ(ours, ByC(value, precision)) << "value " << value << " precision " << precision;
}

TEST(AppendFixed, TiesRoundToEven) {
  for (double value : {0.5, 1.5, 2.5, 0.125, 0.375, 2.675, 1.005, 0.045, -0.5, -2.5, 1e-300, -0.0, 0.0}) {
    for (int precision = 0; precision <= 9; ++precision) ExpectSameAsC(value, precision);
  }
  std::string text;
  kel::AppendFixed(text, 0.125, 2);
  EXPECT_EQ(text, "0.12");
}

TEST(AppendFixed, RandomValuesMatchTheCFormatter) {
  std::mt19937 random(12345);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int i = 0; i < 200000; ++i) {
    const double magnitude = std::pow(10.0, unit(random) * 18.0 - 9.0);
    const double value = (i & 1) ? -magnitude * unit(random) : magnitude;
    ExpectSameAsC(value, i % 10);
    ExpectSameAsC(std::round(value * 1000.0) / 1000.0 + 0.0005, i % 4);  // near decimal ties
    ExpectSameAsC(static_cast<double>(i) / 8.0, i % 4);                  // exact binary ties
  }
}

TEST(AppendFixed, LeavesTheRestToTheCFormatter) {
  std::string text;
  EXPECT_FALSE(kel::AppendFixed(text, 1e9, 2));
  EXPECT_FALSE(kel::AppendFixed(text, -2e12, 2));
  EXPECT_FALSE(kel::AppendFixed(text, INFINITY, 2));
  EXPECT_FALSE(kel::AppendFixed(text, NAN, 2));
  EXPECT_FALSE(kel::AppendFixed(text, 1.0, 10));
  EXPECT_TRUE(text.empty());
  EXPECT_TRUE(kel::AppendFixed(text, 999999999.99, 2));
  EXPECT_EQ(text, "999999999.99");
}

}  // namespace
