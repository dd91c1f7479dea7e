#pragma once
// Path rules and file-system queries of the operating system.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kel::platform {

// True when [c] ends the directory part of a path: a backslash or a colon on
// Win32, a slash on POSIX.
bool IsDirectorySeparator(char c);

// The separator written between a directory and a name.
char DirectorySeparator();

// The separator between the entries of a directory list such as PATH.
char PathListSeparator();

// True when [a] and [b] name the same file: without regard to case on Win32,
// exactly on POSIX.
bool SameFileName(std::string_view a, std::string_view b);

// True when [path] exists and is not a directory.
bool IsExistingFile(const std::string& path);
// True when [path] is a file the system can start as a program: on POSIX one
// with execute permission, on Win32 any file.
bool IsExecutableFile(const std::string& path);

// The extensions a command is tried with, in order, the Kel script's first:
// on Win32 the kinds of file it starts (".KEL", ".COM", ".EXE", ".CMD",
// ".BAT"); on POSIX ".kel", then "" (the name as given).
const std::vector<std::string_view>& CommandExtensions();
// True when a command written with an extension is looked for under that
// name whatever the extension (POSIX), not only when it is one of the
// command extensions (Win32).
bool CommandsKeepTheirExtension();
// True when a script named without an extension may be a file of that plain
// name (POSIX, where "#!" scripts are installed so), when no "name.kel" exists.
bool ScriptsMayLackExtension();

// The absolute form of [path] (relative to the current directory); the path
// need not exist. Empty when the system cannot form it.
std::string FullPath(const std::string& path);

// The longest path the system's file functions take, its terminating NUL
// included.
std::size_t MaxPathLength();

// True when [path] is the root of a file system: a drive root such as C:\ on
// Win32, / on POSIX.
bool IsFileSystemRoot(std::string_view path);

// The interpreter's own executable file.
std::string ModuleFileName();

// The value of the process environment variable [name], if set.
std::optional<std::string> GetEnvironmentValue(const char* name);

}  // namespace kel::platform

namespace kel::platform {

// The extension given to a bound executable named without one (".exe" on
// Win32, none on POSIX).
const char* ExecutableExtension();

}  // namespace kel::platform
