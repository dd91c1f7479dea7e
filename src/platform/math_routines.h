#pragma once
// The C library's routines on doubles (sin, pow, ...), found by name.
//
// OPTIMIZATION: the Linux program loads the system's math library when a
// script first needs one of them, not at every start: most scripts never
// call one, and loading it costs each start its relocations and a few
// hundred KiB of resident memory. The Windows programs have them linked in.

namespace kel::platform {

using UnaryRoutine = double (*)(double);
using BinaryRoutine = double (*)(double, double);

// The routine [name] ("acos" ... "tanh"; "atan2", "pow" and "fmod" are the
// binary ones), or null with [error] set (errno, or 0) when the math library
// cannot be loaded or lacks it.
UnaryRoutine FindUnaryRoutine(const char* name, int& error);
BinaryRoutine FindBinaryRoutine(const char* name, int& error);

// The name of the library the routines come from, for messages.
const char* MathLibraryName();

}  // namespace kel::platform
