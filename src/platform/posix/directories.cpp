// Directory searches on POSIX systems: readdir and fnmatch, with attributes
// as a Win32 user would read them (a leading period hides a name, a file its
// owner cannot write is read-only).

#include "platform/directories.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>

namespace kel::platform {

namespace {

std::uint32_t Attributes(const std::string& name, const struct stat& info) {
  std::uint32_t attributes = 0;
  if (S_ISDIR(info.st_mode)) attributes |= 16;
  if (!name.empty() && name[0] == '.') attributes |= 2;
  if ((info.st_mode & S_IWUSR) == 0) attributes |= 1;
  return attributes;
}

}  // namespace

std::vector<FoundFile> FindFiles(const std::string& pattern) {
  const std::size_t slash = pattern.rfind('/');
  const std::string directory = slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
  std::string wanted = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  if (wanted == "*.*") wanted = "*";
  std::vector<FoundFile> found;
  if (wanted.empty()) return found;
  DIR* folder = ::opendir(directory.empty() ? "." : directory.c_str());
  if (folder == nullptr) return found;
  while (const dirent* entry = ::readdir(folder)) {
    const std::string name = entry->d_name;
    if (::fnmatch(wanted.c_str(), name.c_str(), 0) != 0) continue;
    const std::string path = directory + name;
    struct stat link, info;
    if (::lstat(path.c_str(), &link) != 0) continue;
    if (::stat(path.c_str(), &info) != 0) info = link;  // a link to nothing is the link itself
    found.push_back({name, Attributes(name, info), static_cast<std::uint64_t>(info.st_size),
                     static_cast<std::int64_t>(info.st_mtime), S_ISLNK(link.st_mode)});
  }
  ::closedir(folder);
  std::sort(found.begin(), found.end(), [](const FoundFile& a, const FoundFile& b) { return a.name < b.name; });
  return found;
}

}  // namespace kel::platform
