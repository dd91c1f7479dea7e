#pragma once
// Fixed-point decimal text of doubles ("%.Nf"), written without the C
// formatter for the common cases.

#include <string>

namespace kel {

// Appends [value] with [precision] digits after the point, rounded as the C
// formatter rounds (the exact binary value, ties to even). False, with
// nothing appended, for values it leaves to the C formatter: not finite,
// 1e9 or larger in magnitude, or a precision above 9.
bool AppendFixed(std::string& out, double value, int precision);

}  // namespace kel
