// Mathematics: the C routines on doubles; frexp and modf also store into a
// variable.

#include <cmath>

#include "engine/calls.h"
#include "engine/value.h"
#include "library/arguments.h"
#include "library/groups.h"

namespace kel {

namespace {

// The routines that share one handler, each row naming its own by its variant.
enum Routine : std::uint32_t {
  ACOS, ASIN, ATAN, COS, SIN, TAN, COSH, SINH, TANH, EXP, LOG, LOG10, SQRT, CEIL, FABS, FLOOR,
  ATAN2 = 0, POW, FMOD,
};
constexpr double (*kUnary[])(double) = {
    std::acos, std::asin, std::atan, std::cos, std::sin, std::tan, std::cosh, std::sinh, std::tanh, std::exp,
    std::log,  std::log10, std::sqrt, std::ceil, std::fabs, std::floor,
};
constexpr double (*kBinary[])(double, double) = {std::atan2, std::pow, std::fmod};

void Math_unary(CallFrame& frame) {
  double x;
  if (GetDouble(frame, 0, x)) ReturnFloat(frame, kUnary[CalledVariant(frame)](x));
}

void Math_binary(CallFrame& frame) {
  double x, y;
  if (GetDouble(frame, 0, x) && GetDouble(frame, 1, y)) ReturnFloat(frame, kBinary[CalledVariant(frame)](x, y));
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
    {"acos",  Math_unary,  1, 1, ACOS},
    {"asin",  Math_unary,  1, 1, ASIN},
    {"atan",  Math_unary,  1, 1, ATAN},
    {"atan2", Math_binary, 2, 2, ATAN2},
    {"cos",   Math_unary,  1, 1, COS},
    {"sin",   Math_unary,  1, 1, SIN},
    {"tan",   Math_unary,  1, 1, TAN},
    {"cosh",  Math_unary,  1, 1, COSH},
    {"sinh",  Math_unary,  1, 1, SINH},
    {"tanh",  Math_unary,  1, 1, TANH},
    {"exp",   Math_unary,  1, 1, EXP},
    {"frexp", Math_frexp,  2, 2},
    {"ldexp", Math_ldexp,  2, 2},
    {"log",   Math_unary,  1, 1, LOG},
    {"log10", Math_unary,  1, 1, LOG10},
    {"modf",  Math_modf,   2, 2},
    {"pow",   Math_binary, 2, 2, POW},
    {"sqrt",  Math_unary,  1, 1, SQRT},
    {"ceil",  Math_unary,  1, 1, CEIL},
    {"fabs",  Math_unary,  1, 1, FABS},
    {"floor", Math_unary,  1, 1, FLOOR},
    {"fmod",  Math_binary, 2, 2, FMOD},
};

}  // namespace

const LibraryGroup kMathGroup{GROUP_MATH, kMathRows, nullptr, nullptr, nullptr};

}  // namespace kel
