#pragma once
// Other programs: the command processor, and programs started as child
// processes with the script's standard streams.

#include <cstddef>
#include <string>

namespace kel::platform {

// The longest command the command processor takes.
std::size_t MaxCommandLength();

// Runs [command] through the command processor (ComSpec or CMD.EXE on Win32,
// /bin/sh on POSIX) and waits for it. Its exit status (128 + the signal number
// when a signal ended it), or -1 when it could not be run.
int RunCommand(const std::string& command);

}  // namespace kel::platform
