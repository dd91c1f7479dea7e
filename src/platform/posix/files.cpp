// File and stream services on POSIX systems.

#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <stdio_ext.h>
#include <stdlib.h>
#include <unistd.h>

namespace kel::platform {

int RedirectStandardStream(std::FILE* stream, const char* path, const char* mode) {
  std::FILE* file = std::fopen(path, mode);
  if (file == nullptr) return -1;
  std::fflush(stream);
  const int fd = fileno(stream);
  const int saved = dup(fd);
  dup2(fileno(file), fd);
  std::fclose(file);
  __fpurge(stream);
  std::clearerr(stream);
  return saved;
}

bool RestoreStandardStream(std::FILE* stream, int saved) {
  if (saved < 0) return true;
  const bool written = std::fflush(stream) == 0 && !std::ferror(stream);
  dup2(saved, fileno(stream));
  close(saved);
  __fpurge(stream);
  std::clearerr(stream);
  return written;
}

void ReleaseSavedStream(int saved) {
  if (saved >= 0) close(saved);
}

void RewindStandardInput() { lseek(fileno(stdin), 0, SEEK_SET); }

void FollowStandardInput() {
  __fpurge(stdin);
  std::clearerr(stdin);
}

bool TruncateFile(const char* path, long size) { return truncate(path, size) == 0; }

bool CopyPermissions(const char* from, const char* to) {
  struct stat status;
  if (stat(from, &status) != 0) return false;
  return chmod(to, status.st_mode & 07777) == 0;
}

std::string TemporaryFileName() {
  const char* folder = getenv("TMPDIR");
  std::string pattern = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/kelXXXXXX";
  int fd = mkstemp(pattern.data());
  if (fd < 0) return {};
  close(fd);
  unlink(pattern.c_str());
  return pattern;
}

}  // namespace kel::platform
