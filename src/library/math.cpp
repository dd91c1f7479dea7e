// Mathematics: the C routines on doubles; frexp and modf also store into a
// variable.

#include <cmath>
#include <string_view>

#include "engine/calls.h"
#include "engine/value.h"
#include "library/arguments.h"
#include "library/groups.h"

namespace kel {

namespace {

struct Unary {
  const char* name;
  double (*routine)(double);
};

constexpr Unary kUnary[] = {
    {"acos", std::acos}, {"asin", std::asin}, {"atan", std::atan}, {"cos", std::cos},   {"sin", std::sin},
    {"tan", std::tan},   {"cosh", std::cosh}, {"sinh", std::sinh}, {"tanh", std::tanh}, {"exp", std::exp},
    {"log", std::log},   {"log10", std::log10}, {"sqrt", std::sqrt}, {"ceil", std::ceil}, {"fabs", std::fabs},
    {"floor", std::floor},
};

void Math_unary(CallFrame& frame) {
  double x;
  if (!GetDouble(frame, 0, x)) return;
  const std::string_view name = CalledName(frame);
  for (const Unary& entry : kUnary) {
    if (name == entry.name) {
      ReturnFloat(frame, entry.routine(x));
      return;
    }
  }
}

void Math_binary(CallFrame& frame) {
  double x, y;
  if (!GetDouble(frame, 0, x) || !GetDouble(frame, 1, y)) return;
  const std::string_view name = CalledName(frame);
  if (name == "atan2") ReturnFloat(frame, std::atan2(x, y));
  else if (name == "pow") ReturnFloat(frame, std::pow(x, y));
  else ReturnFloat(frame, std::fmod(x, y));
}

void Math_ldexp(CallFrame& frame) {
  double x;
  std::int32_t n;
  if (GetDouble(frame, 0, x) && GetInteger(frame, 1, n)) ReturnFloat(frame, std::ldexp(x, n));
}

// frexp(x, exponent): the mantissa; the variable receives the exponent.
void Math_frexp(CallFrame& frame) {
  double x;
  Var* target = GetDouble(frame, 0, x) ? GetParameter(frame, 1, PARAM_ANY) : nullptr;
  if (target == nullptr) return;
  int exponent = 0;
  double mantissa = std::frexp(x, &exponent);
  if (StoreNumber(frame, target, exponent, KEL_INT)) ReturnFloat(frame, mantissa);
}

// modf(x, whole): the fractional part; the variable receives the integral part.
void Math_modf(CallFrame& frame) {
  double x;
  Var* target = GetDouble(frame, 0, x) ? GetParameter(frame, 1, PARAM_ANY) : nullptr;
  if (target == nullptr) return;
  double whole = 0;
  double fraction = std::modf(x, &whole);
  if (StoreNumber(frame, target, whole, KEL_FLOAT)) ReturnFloat(frame, fraction);
}

constexpr LibraryEntry kMathRows[] = {
    {"acos",  Math_unary,  1, 1},
    {"asin",  Math_unary,  1, 1},
    {"atan",  Math_unary,  1, 1},
    {"atan2", Math_binary, 2, 2},
    {"cos",   Math_unary,  1, 1},
    {"sin",   Math_unary,  1, 1},
    {"tan",   Math_unary,  1, 1},
    {"cosh",  Math_unary,  1, 1},
    {"sinh",  Math_unary,  1, 1},
    {"tanh",  Math_unary,  1, 1},
    {"exp",   Math_unary,  1, 1},
    {"frexp", Math_frexp,  2, 2},
    {"ldexp", Math_ldexp,  2, 2},
    {"log",   Math_unary,  1, 1},
    {"log10", Math_unary,  1, 1},
    {"modf",  Math_modf,   2, 2},
    {"pow",   Math_binary, 2, 2},
    {"sqrt",  Math_unary,  1, 1},
    {"ceil",  Math_unary,  1, 1},
    {"fabs",  Math_unary,  1, 1},
    {"floor", Math_unary,  1, 1},
    {"fmod",  Math_binary, 2, 2},
};

}  // namespace

const LibraryGroup kMathGroup{GROUP_MATH, kMathRows, nullptr, nullptr, nullptr};

}  // namespace kel
