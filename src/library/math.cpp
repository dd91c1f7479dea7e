// Mathematics: the C routines on doubles; frexp and modf also store into a
// variable.

#include <cmath>
#include <iterator>

#include "engine/calls.h"
#include "engine/messages.h"
#include "engine/value.h"
#include "library/arguments.h"
#include "library/groups.h"
#include "platform/math_routines.h"

namespace kel {

namespace {

// The routines that share one handler, each row naming its own by its variant.
enum Routine : std::uint32_t {
  ACOS, ASIN, ATAN, COS, SIN, TAN, COSH, SINH, TANH, EXP, LOG, LOG10, SQRT, CEIL, FABS, FLOOR,
  ATAN2 = 0, POW, FMOD,
};
// The C routine of each, by name: found on first use (FindUnaryRoutine).
constexpr const char* kUnaryNames[] = {
    "acos", "asin", "atan", "cos", "sin", "tan", "cosh", "sinh", "tanh", "exp",
    "log",  "log10", "sqrt", "ceil", "fabs", "floor",
};
constexpr const char* kBinaryNames[] = {"atan2", "pow", "fmod"};

platform::UnaryRoutine unaryRoutines[std::size(kUnaryNames)];
platform::BinaryRoutine binaryRoutines[std::size(kBinaryNames)];

// The routine [name] as [found] remembers it, looked up the first time; null
// after reporting that the math library cannot give it.
template <typename Routine, typename Find>
Routine RoutineOf(CallFrame& frame, Routine& found, const char* name, Find find) {
  if (found == nullptr) {
    int error = 0;
    found = find(name, error);
    if (found == nullptr) RaiseError(*frame.run, MSG_6100, error, platform::MathLibraryName());
  }
  return found;
}

void Math_unary(CallFrame& frame) {
  double x;
  if (!GetDouble(frame, 0, x)) return;
  const std::uint32_t routine = CalledVariant(frame);
  const auto unary = RoutineOf(frame, unaryRoutines[routine], kUnaryNames[routine], platform::FindUnaryRoutine);
  if (unary != nullptr) ReturnFloat(frame, unary(x));
}

void Math_binary(CallFrame& frame) {
  double x, y;
  if (!GetDouble(frame, 0, x) || !GetDouble(frame, 1, y)) return;
  const std::uint32_t routine = CalledVariant(frame);
  const auto binary = RoutineOf(frame, binaryRoutines[routine], kBinaryNames[routine], platform::FindBinaryRoutine);
  if (binary != nullptr) ReturnFloat(frame, binary(x, y));
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
