// File and stream services on Win32.

#include "platform/files.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstring>

namespace kel::platform {

namespace {

DWORD StandardHandleOf(std::FILE* stream) {
  if (stream == stdin) return STD_INPUT_HANDLE;
  if (stream == stdout) return STD_OUTPUT_HANDLE;
  return STD_ERROR_HANDLE;
}

// The process's standard handle follows the stream, so that child processes
// started later inherit the redirection.
void FollowStandardHandle(std::FILE* stream) {
  SetStdHandle(StandardHandleOf(stream), reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))));
}

}  // namespace

int RedirectStandardStream(std::FILE* stream, const char* path, const char* mode) {
  std::FILE* file = std::fopen(path, mode);
  if (file == nullptr) return -1;
  std::fflush(stream);
  const int fd = _fileno(stream);
  const int saved = _dup(fd);
  _dup2(_fileno(file), fd);
  std::fclose(file);
  _setmode(fd, std::strchr(mode, 'b') != nullptr ? _O_BINARY : _O_TEXT);
  if (stream == stdin) std::fflush(stdin);
  std::clearerr(stream);
  FollowStandardHandle(stream);
  return saved;
}

bool RestoreStandardStream(std::FILE* stream, int saved) {
  if (saved < 0) return true;
  const bool written = std::fflush(stream) == 0 && !std::ferror(stream);
  const int fd = _fileno(stream);
  _dup2(saved, fd);
  _close(saved);
  _setmode(fd, _O_TEXT);
  if (stream == stdin) std::fflush(stdin);
  std::clearerr(stream);
  FollowStandardHandle(stream);
  return written;
}

void ReleaseSavedStream(int saved) {
  if (saved >= 0) _close(saved);
}

void RewindStandardInput() { _lseek(_fileno(stdin), 0, SEEK_SET); }

void FollowStandardInput() {
  std::fflush(stdin);  // the C runtime drops what the stream had read ahead
  std::clearerr(stdin);
}

bool TruncateFile(const char* path, long size) {
  int fd = _open(path, _O_RDWR | _O_BINARY);
  if (fd < 0) return false;
  bool ok = _chsize(fd, size) == 0;
  _close(fd);
  return ok;
}

bool CopyPermissions(const char*, const char*) { return true; }

std::string TemporaryFileName() {
  char folder[MAX_PATH + 1];
  char name[MAX_PATH + 1];
  DWORD length = GetTempPathA(sizeof folder, folder);
  if (length == 0 || length > MAX_PATH) return {};
  if (GetTempFileNameA(folder, "kel", 0, name) == 0) return {};
  DeleteFileA(name);
  return name;
}

}  // namespace kel::platform
