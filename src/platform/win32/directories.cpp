// Directory searches on Win32: FindFirstFileA and FindNextFileA.

#include "platform/directories.h"

#include <windows.h>

#include <ctime>

namespace kel::platform {

namespace {

// The last write as calendar seconds, read from its local date and time with
// daylight saving left to the C library, as the file's listing shows it.
std::int64_t LocalWriteTime(const FILETIME& written) {
  FILETIME local;
  SYSTEMTIME parts;
  if (!FileTimeToLocalFileTime(&written, &local) || !FileTimeToSystemTime(&local, &parts)) return -1;
  std::tm calendar{};
  calendar.tm_year = parts.wYear - 1900;
  calendar.tm_mon = parts.wMonth - 1;
  calendar.tm_mday = parts.wDay;
  calendar.tm_hour = parts.wHour;
  calendar.tm_min = parts.wMinute;
  calendar.tm_sec = parts.wSecond;
  calendar.tm_isdst = -1;
  return static_cast<std::int64_t>(std::mktime(&calendar));
}

}  // namespace

std::vector<FoundFile> FindFiles(const std::string& pattern) {
  std::vector<FoundFile> found;
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(pattern.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return found;
  do {
    const std::uint64_t size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    found.push_back({data.cFileName, data.dwFileAttributes & 0x37u, size, LocalWriteTime(data.ftLastWriteTime),
                     (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
  } while (FindNextFileA(search, &data));
  FindClose(search);
  return found;
}

}  // namespace kel::platform
