// Dynamic libraries on POSIX: dlopen and dlsym, and calls laid out by the
// machine's C convention (x86-64 System V, AArch64), which passes integers
// and doubles in two separate register files and the rest on the stack.

#include "platform/dynamic_library.h"

#include <dlfcn.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace kel::platform {

void* OpenLibrary(const char* name, int& error) {
  errno = 0;
  void* library = dlopen(name, RTLD_NOW | RTLD_LOCAL);
  error = library == nullptr ? errno : 0;
  return library;
}

void CloseLibrary(void* library) { dlclose(library); }

void* FindExport(void* library, const char* name, int& error) {
  errno = 0;
  dlerror();
  void* address = dlsym(library, name);
  error = address == nullptr ? errno : 0;
  return address;
}

void* FindExportByOrdinal(void*, std::uint32_t, int& error) {
  error = 0;
  return nullptr;
}

bool LibraryNamesIgnoreCase() { return false; }

namespace {

#if defined(__x86_64__)
constexpr std::size_t kIntegerRegisters = 6;
#elif defined(__aarch64__)
constexpr std::size_t kIntegerRegisters = 8;
#else
#error "native calls are laid out for x86-64 and AArch64 only"
#endif
constexpr std::size_t kRealRegisters = 8;
// Stack words every call passes; the caller removes them, so a function
// that takes fewer never notices the rest.
constexpr std::size_t kStackWords = 48;

using Word = std::uint64_t;

// Calls through a variadic type: each argument then goes where the
// convention puts it by its kind (integers to the integer registers, doubles
// to the vector registers, the rest to the stack in order), and a variadic
// function (printf) learns how many vector registers hold arguments.
template <std::size_t... S>
Word CallLaidOut(void* function, const Word* integers, const double* reals, const Word* stack,
                 std::index_sequence<S...>) {
  auto* target = reinterpret_cast<Word (*)(...)>(function);
#if defined(__x86_64__)
  return target(integers[0], integers[1], integers[2], integers[3], integers[4], integers[5], reals[0], reals[1],
                reals[2], reals[3], reals[4], reals[5], reals[6], reals[7], stack[S]...);
#else
  return target(integers[0], integers[1], integers[2], integers[3], integers[4], integers[5], integers[6],
                integers[7], reals[0], reals[1], reals[2], reals[3], reals[4], reals[5], reals[6], reals[7], stack[S]...);
#endif
}

Word Bits(const NativeArgument& argument) {
  if (argument.kind == NativeArgument::ADDRESS) return reinterpret_cast<std::uintptr_t>(argument.address);
  if (argument.kind == NativeArgument::INTEGER) return static_cast<Word>(argument.integer);
  Word bits;
  std::memcpy(&bits, &argument.real, sizeof bits);
  return bits;
}

}  // namespace

std::size_t MaxNativeArguments() { return kIntegerRegisters + kRealRegisters + kStackWords; }

std::uint32_t CallNative(void* function, NativeOrder order, std::span<const NativeArgument> arguments,
                         std::int32_t& stackError) {
  stackError = 0;
  Word integers[kIntegerRegisters] = {};
  double reals[kRealRegisters] = {};
  Word stack[kStackWords] = {};
  std::size_t integerCount = 0, realCount = 0, stackCount = 0;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const NativeArgument& argument = arguments[order == NativeOrder::REVERSED ? arguments.size() - 1 - i : i];
    if (argument.kind == NativeArgument::REAL && realCount < kRealRegisters) {
      reals[realCount++] = argument.real;
    } else if (argument.kind != NativeArgument::REAL && integerCount < kIntegerRegisters) {
      integers[integerCount++] = Bits(argument);
    } else if (stackCount < kStackWords) {
      stack[stackCount++] = Bits(argument);
    }
  }
  const Word result = CallLaidOut(function, integers, reals, stack, std::make_index_sequence<kStackWords>());
  return static_cast<std::uint32_t>(result);
}

}  // namespace kel::platform
