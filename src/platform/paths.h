#pragma once
// Path rules and file-system queries of the operating system.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

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
