#pragma once
// The windowed program's built-in functions, added to the library's groups.

namespace kel {

void RegisterWindowedBuiltins();

}  // namespace kel
