// The math routines on Windows: the C runtime's, linked into the program.

#include "platform/math_routines.h"

#include <cmath>
#include <cstddef>
#include <cstring>

namespace kel::platform {

namespace {

struct UnaryRow {
  const char* name;
  UnaryRoutine routine;
};

struct BinaryRow {
  const char* name;
  BinaryRoutine routine;
};

constexpr UnaryRow kUnary[] = {
    {"acos", std::acos}, {"asin", std::asin}, {"atan", std::atan},   {"cos", std::cos},     {"sin", std::sin},
    {"tan", std::tan},   {"cosh", std::cosh}, {"sinh", std::sinh},   {"tanh", std::tanh},   {"exp", std::exp},
    {"log", std::log},   {"log10", std::log10}, {"sqrt", std::sqrt}, {"ceil", std::ceil},   {"fabs", std::fabs},
    {"floor", std::floor},
};

constexpr BinaryRow kBinary[] = {{"atan2", std::atan2}, {"pow", std::pow}, {"fmod", std::fmod}};

template <typename Row, std::size_t N>
auto Find(const Row (&rows)[N], const char* name, int& error) {
  error = 0;
  for (const Row& row : rows) {
    if (std::strcmp(row.name, name) == 0) return row.routine;
  }
  return decltype(rows[0].routine){nullptr};
}

}  // namespace

UnaryRoutine FindUnaryRoutine(const char* name, int& error) { return Find(kUnary, name, error); }

BinaryRoutine FindBinaryRoutine(const char* name, int& error) { return Find(kBinary, name, error); }

const char* MathLibraryName() { return "the C runtime"; }

}  // namespace kel::platform
