#pragma once
// Other programs: the command processor, and programs started as child
// processes with the script's standard streams.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kel::platform {

// How the command processor reads a file of variable settings: CMD.EXE's SET
// lines (Win32) or a POSIX shell's export and unset.
enum class ShellSyntax { Cmd, Posix };
ShellSyntax CommandProcessorSyntax();

// The longest command the command processor takes.
std::size_t MaxCommandLength();

// Runs [command] through the command processor (ComSpec or CMD.EXE on Win32,
// /bin/sh on POSIX) and waits for it. Its exit status (128 + the signal number
// when a signal ended it), or -1 when it could not be run.
int RunCommand(const std::string& command);

// A program to start: its path, and the arguments it receives, each one word
// whatever blanks or quotes it holds.
struct ChildProgram {
  std::string path;
  std::vector<std::string> arguments;
};

// Starts [program] with the process's standard streams, in a console of its
// own on Win32, and waits for it. Its exit status (128 + the signal number
// when a signal ended it), or -1 when it could not be started or its status
// cannot be read.
int RunChildAndWait(const ChildProgram& program);

// Starts [program] without waiting for it. Win32: the handle of the first
// top-level window it shows within 45 steps of 333 ms, or 0 when it shows
// none or ends first; POSIX, where programs have no windows: its process id.
// -1 when it could not be started.
std::int32_t StartChild(const ChildProgram& program);

}  // namespace kel::platform
