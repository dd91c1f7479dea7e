#pragma once
// Dynamic-link libraries: loading one by name, finding its exports, and
// calling an export with arguments laid out as the machine's calling
// convention wants them.

#include <cstdint>
#include <span>

namespace kel::platform {

// Loads the library [name]; null with [error] set (GetLastError, or errno
// on POSIX, 0 when unset) when it cannot be loaded.
void* OpenLibrary(const char* name, int& error);
void CloseLibrary(void* library);

// The export [name] of [library], or the export with [ordinal] (Win32; on
// POSIX exports have no ordinals); null with [error] set.
void* FindExport(void* library, const char* name, int& error);
void* FindExportByOrdinal(void* library, std::uint32_t ordinal, int& error);

// True where library names are compared without regard to case (Win32).
bool LibraryNamesIgnoreCase();

// One argument of a native call: an integer (sign-extended to the register
// width), an address, or a double.
struct NativeArgument {
  enum Kind : std::uint8_t { INTEGER, ADDRESS, REAL } kind;
  union {
    std::int64_t integer;
    void* address;
    double real;
  };
};

// The order and clean-up rule of a call. On 32-bit x86, CALLER_CLEANS
// pushes the last argument first and removes the arguments after the call;
// CALLEE_CLEANS pushes the same way and leaves the removal to the function;
// REVERSED pushes the first argument first (a double whole, as the function
// reads it) and leaves the removal to the function. On 64-bit machines there is one
// convention: the first two are the same, and REVERSED passes the arguments
// in reverse order.
enum class NativeOrder { CALLER_CLEANS, CALLEE_CLEANS, REVERSED };

// The most arguments a native call takes (0 for no limit).
std::size_t MaxNativeArguments();

// Calls [function] with [arguments] and gives the low 32 bits of its integer
// result. [stackError] receives how many bytes the function removed from the
// stack beyond (or short of) what its convention says (32-bit x86; always 0
// elsewhere): the stack is put right whatever it is. A floating result the
// function leaves on the x87 stack is dropped.
std::uint32_t CallNative(void* function, NativeOrder order, std::span<const NativeArgument> arguments,
                         std::int32_t& stackError);

}  // namespace kel::platform
