#pragma once
// Searching a directory for the names that match a pattern, with the
// attributes scripts know (FATTR_RDONLY 1, FATTR_HIDDEN 2, FATTR_SYSTEM 4,
// FATTR_SUBDIR 16, FATTR_ARCHIVE 32).

#include <cstdint>
#include <string>
#include <vector>

namespace kel::platform {

struct FoundFile {
  std::string name;         // the file name alone
  std::uint32_t attributes; // the bits above
  std::uint64_t size;
  std::int64_t writeTime;   // the last write, in calendar seconds
  bool isLink;              // a symbolic link or junction: never entered
};

// The entries of the directory part of [pattern] whose names match its file
// part (wildcards * and ?; "*.*" matches every name), in the system's order
// (by name on POSIX, where the order is otherwise arbitrary). Empty when the
// directory cannot be read or nothing matches.
std::vector<FoundFile> FindFiles(const std::string& pattern);

}  // namespace kel::platform
