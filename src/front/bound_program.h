#pragma once
// Bound executables: a program, tokenized and with its names bound, appended
// to a copy of the interpreter ("/BIND="), and loaded from that copy when it
// starts instead of being read from source.

#include <string>
#include <string_view>

namespace kel {

struct Context;

// Writes the bound executable named by BindTarget from the program loaded in
// [run]: the interpreter's own file copied, the program data appended, the
// bind header patched; then prints the output's size and SHA-256. A failure
// removes what was written and ends the process with its fatal message; a
// name that cannot be bound raises its error in [run] instead.
void WriteBoundProgram(Context& run);

// Binds every function of [run] in table order (the global code first, whose
// names make the globals) and writes its program data to [data]. False with
// the error raised when a name cannot be bound, or with [limit] naming what
// the data's 16-bit fields cannot hold.
bool MakeBoundProgramData(Context& run, std::string& data, const char*& limit);

// Loads this bound executable's program into [run]'s function table. Data
// that cannot be read or is damaged ends the process with a fatal message;
// false when an environment variable it names cannot be made (the error is
// raised in [run]).
bool ReadBoundProgram(Context& run);

// How loading program data went.
enum class BoundLoad { LOADED, DAMAGED, FAILED };

// Loads the program data [data] into [run]'s function table: LOADED, or
// DAMAGED for data the binder cannot have written (nothing is registered
// then), or FAILED when an environment variable cannot be made.
BoundLoad LoadBoundProgram(Context& run, std::string_view data);

// True when [data] ends with the binder's integrity record and its digest
// matches the bytes before it.
bool BoundDataIsIntact(std::string_view data);

// Program data that ReadBoundProgram takes instead of this executable's own
// (the fuzz target's input); the integrity record is not asked for.
void UseBoundProgramData(std::string data);

}  // namespace kel
