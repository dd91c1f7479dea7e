// The guarded copy on POSIX: a fault inside the copy jumps back out of the
// signal handler, which is installed once; a fault anywhere else goes on to
// whatever handled it before (the default, or a sanitizer's report).

#include "platform/memory_access.h"

#include <csetjmp>
#include <csignal>
#include <mutex>

namespace kel::platform {

namespace {

thread_local sigjmp_buf* guardedCopy = nullptr;
struct sigaction previousSegv;
struct sigaction previousBus;

void OnFault(int signal, siginfo_t* info, void* context) {
  if (guardedCopy != nullptr) siglongjmp(*guardedCopy, 1);
  // Not a guarded copy's fault: the handler before this one takes it when
  // the faulting instruction runs again.
  sigaction(signal, signal == SIGSEGV ? &previousSegv : &previousBus, nullptr);
  static_cast<void>(info);
  static_cast<void>(context);
}

void InstallFaultHandler() {
  struct sigaction action {};
  action.sa_sigaction = OnFault;
  // No signal stays blocked after the jump out of the handler.
  action.sa_flags = SA_SIGINFO | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  sigaction(SIGSEGV, &action, &previousSegv);
  sigaction(SIGBUS, &action, &previousBus);
}

// The copy itself, apart from the jump buffer's frame, so that nothing the
// jump skips needs to survive it. Byte by byte through volatile pointers and
// unseen by the sanitizers: their checks would report the address as wild
// before the copy could fault on it.
[[gnu::noinline]] __attribute__((no_sanitize("address"))) __attribute__((no_sanitize("undefined"))) void Copy(
    void* to, const void* from, std::size_t count) {
  auto* out = static_cast<volatile unsigned char*>(to);
  auto* in = static_cast<const volatile unsigned char*>(from);
  if (out < in) {
    for (std::size_t i = 0; i < count; ++i) out[i] = in[i];
  } else {
    for (std::size_t i = count; i-- > 0;) out[i] = in[i];
  }
}

}  // namespace

bool CopyGuarded(void* to, const void* from, std::size_t count) {
  static std::once_flag installed;
  std::call_once(installed, InstallFaultHandler);
  sigjmp_buf jump;
  if (sigsetjmp(jump, 0) != 0) {
    guardedCopy = nullptr;
    return false;
  }
  guardedCopy = &jump;
  Copy(to, from, count);
  guardedCopy = nullptr;
  return true;
}

}  // namespace kel::platform
