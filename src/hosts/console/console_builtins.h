#pragma once
// The console program's own built-ins (screen, keyboard, suspend).

namespace kel {

// Adds the console program's rows to the library's groups; called once
// before the run driver.
void RegisterConsoleBuiltins();

}  // namespace kel
