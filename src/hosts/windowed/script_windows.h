#pragma once
// Script windows: the windows group of the windowed program.

#include "hosts/windowed/main_window.h"

namespace kel {

// Registers the windows group's functions and per-run state; [console] is
// the window that DoWindows is woken through.
void RegisterScriptWindows(KelMainWindow& console);
// Unregisters the default script class when the program ends.
void UnregisterScriptWindows();
// True while a window function runs: the engine then handles no messages
// between statements.
bool WindowFunctionRunning();

}  // namespace kel
