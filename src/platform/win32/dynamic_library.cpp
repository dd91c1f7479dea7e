// Dynamic-link libraries on Win32: LoadLibraryA and GetProcAddress, and the
// call itself: a few instructions that lay the arguments out. On 32-bit x86
// they are machine words pushed in the convention's order, and the stack the
// function removed is measured; on x86-64 there is one convention, with the
// first four arguments in registers.

#include "platform/dynamic_library.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace kel::platform {

void* OpenLibrary(const char* name, int& error) {
  HMODULE library = LoadLibraryA(name);
  error = library == nullptr ? static_cast<int>(GetLastError()) : 0;
  return reinterpret_cast<void*>(library);
}

void CloseLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

void* FindExport(void* library, const char* name, int& error) {
  FARPROC address = GetProcAddress(static_cast<HMODULE>(library), name);
  error = address == nullptr ? static_cast<int>(GetLastError()) : 0;
  return reinterpret_cast<void*>(address);
}

void* FindExportByOrdinal(void* library, std::uint32_t ordinal, int& error) {
  // An ordinal travels in place of the name, in the name's low word.
  FARPROC address = GetProcAddress(static_cast<HMODULE>(library), MAKEINTRESOURCEA(ordinal & 0xFFFF));
  error = address == nullptr ? static_cast<int>(GetLastError()) : 0;
  return reinterpret_cast<void*>(address);
}

bool LibraryNamesIgnoreCase() { return true; }

#if defined(__i386__)

std::size_t MaxNativeArguments() { return 0; }

namespace {

// Copies [count] words to a fresh stack area (the first word lowest), calls
// [function], and puts the stack pointer back to where it was, whatever the
// function removed; [removed] receives the bytes it removed. Only registers
// are used once the stack pointer moves: no operand may be addressed through
// it then.
std::uint32_t CallWithWords(void* function, const std::uint32_t* words, std::uint32_t count,
                            std::uint32_t& removed) {
  std::uint32_t result;
  std::uint32_t edx, edi;
  asm volatile(
      "movl %%esp, %%edi\n\t"      // edi: the stack pointer to return to
      "movl %%ecx, %%eax\n\t"
      "shll $2, %%eax\n\t"
      "negl %%eax\n\t"
      "addl %%edi, %%eax\n\t"
      "andl $-16, %%eax\n\t"       // the arguments start on a 16-byte boundary
      "movl %%eax, %%esp\n\t"
      "testl %%ecx, %%ecx\n\t"
      "jz 2f\n"
      "1:\n\t"
      "movl -4(%%esi,%%ecx,4), %%eax\n\t"
      "movl %%eax, -4(%%esp,%%ecx,4)\n\t"
      "decl %%ecx\n\t"
      "jnz 1b\n"
      "2:\n\t"
      "movl %%esp, %%esi\n\t"      // esi: the stack pointer at the call
      "call *%%edx\n\t"
      "movl %%esp, %%ecx\n\t"
      "subl %%esi, %%ecx\n\t"      // what the function removed
      "movl %%edi, %%esp\n\t"
      : "=a"(result), "=c"(removed), "=d"(edx), "+S"(words), "=D"(edi)
      : "c"(count), "d"(function)
      : "memory", "cc");
  return result;
}

// Drops a floating result the function left on the x87 stack, which would
// otherwise fill it after eight such calls.
struct X87Watch {
  std::uint16_t before;
  X87Watch() { asm volatile("fnstsw %0" : "=m"(before)); }
  void DropResult() {
    std::uint16_t after;
    asm volatile("fnstsw %0" : "=m"(after));
    if (((after ^ before) & 0x3800) != 0) asm volatile("fstp %%st(0)" ::: "st");
  }
};

}  // namespace

std::uint32_t CallNative(void* function, NativeOrder order, std::span<const NativeArgument> arguments,
                         std::int32_t& stackError) {
  // Pushed first to last, the first argument ends up highest: the same as
  // the arguments in reverse order pushed the usual way. A double stays
  // whole, its low word first, as the function reads it.
  std::vector<std::uint32_t> words;
  for (std::size_t k = 0; k < arguments.size(); ++k) {
    const NativeArgument& argument = arguments[order == NativeOrder::REVERSED ? arguments.size() - 1 - k : k];
    std::uint64_t bits;
    switch (argument.kind) {
      case NativeArgument::INTEGER: words.push_back(static_cast<std::uint32_t>(argument.integer)); break;
      case NativeArgument::ADDRESS: words.push_back(reinterpret_cast<std::uintptr_t>(argument.address)); break;
      case NativeArgument::REAL:
        std::memcpy(&bits, &argument.real, sizeof bits);
        words.push_back(static_cast<std::uint32_t>(bits));
        words.push_back(static_cast<std::uint32_t>(bits >> 32));
        break;
    }
  }
  const auto count = static_cast<std::uint32_t>(words.size());
  X87Watch x87;
  std::uint32_t removed = 0;
  const std::uint32_t result = CallWithWords(function, words.data(), count, removed);
  x87.DropResult();
  const std::uint32_t expected = order == NativeOrder::CALLER_CLEANS ? 0 : 4 * count;
  stackError = static_cast<std::int32_t>(removed - expected);
  return result;
}

#elif defined(__x86_64__)

// KelCallSlots(function, slots, count): calls [function] with [count]
// 8-byte argument slots, the first four in their integer registers and also
// in their vector registers, so that a function reads a double where it
// wants it, a variadic one (wsprintfA, sprintf) in the integer register.
// The slots lie where the callee expects its home area and stack arguments.
asm(R"(
    .text
    .p2align 4
    .globl KelCallSlots
    .def KelCallSlots; .scl 2; .type 32; .endef
    .seh_proc KelCallSlots
KelCallSlots:
    pushq %rbp
    .seh_pushreg %rbp
    pushq %rsi
    .seh_pushreg %rsi
    pushq %rdi
    .seh_pushreg %rdi
    movq %rsp, %rbp
    .seh_setframe %rbp, 0
    .seh_endprologue
    movq %rcx, %r10
    movq %rdx, %rsi
    movq %r8, %rcx
    cmpq $4, %rcx
    jae 1f
    movq $4, %rcx
1:
    leaq 15(,%rcx,8), %rax
    andq $-16, %rax
    subq %rax, %rsp
    movq %rsp, %rdi
    movq %r8, %rcx
    rep movsq
    movq 0(%rsp), %rcx
    movq 8(%rsp), %rdx
    movq 16(%rsp), %r8
    movq 24(%rsp), %r9
    movq %rcx, %xmm0
    movq %rdx, %xmm1
    movq %r8, %xmm2
    movq %r9, %xmm3
    callq *%r10
    movq %rbp, %rsp
    popq %rdi
    popq %rsi
    popq %rbp
    retq
    .seh_endproc
)");

extern "C" std::uint64_t KelCallSlots(void* function, const std::uint64_t* slots, std::size_t count);

std::size_t MaxNativeArguments() { return 0; }

std::uint32_t CallNative(void* function, NativeOrder order, std::span<const NativeArgument> arguments,
                         std::int32_t& stackError) {
  stackError = 0;
  // Unused home slots are zero, not what the stack held.
  std::vector<std::uint64_t> slots(std::max<std::size_t>(arguments.size(), 4));
  for (std::size_t k = 0; k < arguments.size(); ++k) {
    const NativeArgument& argument = arguments[order == NativeOrder::REVERSED ? arguments.size() - 1 - k : k];
    if (argument.kind == NativeArgument::REAL) {
      std::memcpy(&slots[k], &argument.real, sizeof slots[k]);
    } else if (argument.kind == NativeArgument::ADDRESS) {
      slots[k] = reinterpret_cast<std::uintptr_t>(argument.address);
    } else {
      slots[k] = static_cast<std::uint64_t>(argument.integer);
    }
  }
  return static_cast<std::uint32_t>(KelCallSlots(function, slots.data(), slots.size()));
}

#else
#error "native calls are laid out for 32-bit x86 and x86-64 only"
#endif

}  // namespace kel::platform
