// The math routines on POSIX: looked up in the system's math library, which
// is loaded on the first request and stays for the life of the process.

#include "platform/math_routines.h"

#include <dlfcn.h>

#include <cerrno>

#if __has_include(<gnu/lib-names.h>)
#include <gnu/lib-names.h>
#endif

namespace kel::platform {

namespace {

#ifdef LIBM_SO
constexpr const char* kMathLibrary = LIBM_SO;
#else
constexpr const char* kMathLibrary = "libm.so";
#endif

struct MathLibrary {
  void* handle;
  int error;  // errno when it could not be loaded
};

// Loaded once, by the first thread that asks.
const MathLibrary& Library() {
  static const MathLibrary library = [] {
    errno = 0;
    void* handle = dlopen(kMathLibrary, RTLD_NOW | RTLD_LOCAL);
    return MathLibrary{handle, handle == nullptr ? errno : 0};
  }();
  return library;
}

void* FindRoutine(const char* name, int& error) {
  const MathLibrary& library = Library();
  error = library.error;
  return library.handle != nullptr ? dlsym(library.handle, name) : nullptr;
}

}  // namespace

UnaryRoutine FindUnaryRoutine(const char* name, int& error) {
  return reinterpret_cast<UnaryRoutine>(FindRoutine(name, error));
}

BinaryRoutine FindBinaryRoutine(const char* name, int& error) {
  return reinterpret_cast<BinaryRoutine>(FindRoutine(name, error));
}

const char* MathLibraryName() { return kMathLibrary; }

}  // namespace kel::platform
