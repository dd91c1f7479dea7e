#pragma once
// File and stream services beyond the C library: redirecting the process's
// standard streams so that child processes inherit the redirection, and the
// few file operations C does not offer.

#include <cstdint>
#include <cstdio>
#include <string>

namespace kel::platform {

// Points the standard [stream] (stdin, stdout or stderr) at the file [path]
// opened with [mode], at the level of the process's own handles. Returns a
// handle to what the stream referred to before (for RestoreStandardStream),
// or -1 when the file cannot be opened (the stream is then unchanged).
int RedirectStandardStream(std::FILE* stream, const char* path, const char* mode);

// Points the standard [stream] back at [saved] (from RedirectStandardStream)
// and releases it. Nothing written is lost: the stream is flushed first;
// false when that flush could not write everything.
bool RestoreStandardStream(std::FILE* stream, int saved);

// Releases [saved] without restoring it.
void ReleaseSavedStream(int saved);

// Around a child process that reads the redirected standard input: before,
// the input goes back to the start of the file; after, the stream drops what
// it had read ahead, so that reading goes on where the child stopped.
void RewindStandardInput();
void FollowStandardInput();

// Cuts the file [path] to [size] bytes. Returns true on success.
bool TruncateFile(const char* path, long size);

// Gives the file [to] the permission bits of the file [from], so that a copy
// of a program can be run as the program can (POSIX); Win32 has nothing to
// copy. Returns true on success.
bool CopyPermissions(const char* from, const char* to);

// A name for a new temporary file, or empty when none can be made.
std::string TemporaryFileName();

}  // namespace kel::platform
