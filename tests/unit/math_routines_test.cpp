// The math routines found by name (loaded on first use on POSIX): each one
// the library offers is found and gives the C library's result; a name the
// math library lacks gives null instead of a routine.

#include "platform/math_routines.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using kel::platform::FindBinaryRoutine;
using kel::platform::FindUnaryRoutine;

TEST(MathRoutines, EveryUnaryRoutineAgreesWithTheCLibrary) {
  const struct {
    const char* name;
    double (*expected)(double);
  } routines[] = {
      {"acos", std::acos}, {"asin", std::asin}, {"atan", std::atan},   {"cos", std::cos},   {"sin", std::sin},
      {"tan", std::tan},   {"cosh", std::cosh}, {"sinh", std::sinh},   {"tanh", std::tanh}, {"exp", std::exp},
      {"log", std::log},   {"log10", std::log10}, {"sqrt", std::sqrt}, {"ceil", std::ceil}, {"fabs", std::fabs},
      {"floor", std::floor},
  };
  for (const auto& routine : routines) {
    int error = -1;
    auto found = FindUnaryRoutine(routine.name, error);
    ASSERT_NE(found, nullptr) << routine.name;
    EXPECT_EQ(error, 0);
    for (double x : {-0.75, 0.0, 0.3, 0.9}) {
      const double want = routine.expected(x);
      const double got = found(x);
      if (std::isnan(want)) {
        EXPECT_TRUE(std::isnan(got)) << routine.name << "(" << x << ")";
      } else {
        // (within a few units in the last place: the compiler may fold the
        // expected value itself, rounded its own way)
        EXPECT_DOUBLE_EQ(got, want) << routine.name << "(" << x << ")";
      }
    }
  }
}

TEST(MathRoutines, EveryBinaryRoutineAgreesWithTheCLibrary) {
  const struct {
    const char* name;
    double (*expected)(double, double);
  } routines[] = {{"atan2", std::atan2}, {"pow", std::pow}, {"fmod", std::fmod}};
  for (const auto& routine : routines) {
    int error = -1;
    auto found = FindBinaryRoutine(routine.name, error);
    ASSERT_NE(found, nullptr) << routine.name;
    EXPECT_DOUBLE_EQ(found(2.5, -1.5), routine.expected(2.5, -1.5)) << routine.name;
    EXPECT_DOUBLE_EQ(found(-7.0, 3.0), routine.expected(-7.0, 3.0)) << routine.name;
  }
}

TEST(MathRoutines, AnUnknownNameGivesNoRoutine) {
  int error = 0;
  EXPECT_EQ(FindUnaryRoutine("no_such_routine", error), nullptr);
  EXPECT_EQ(FindBinaryRoutine("no_such_routine", error), nullptr);
  // Asked again after a miss, a known one is still found.
  EXPECT_NE(FindUnaryRoutine("sin", error), nullptr);
}

}  // namespace
