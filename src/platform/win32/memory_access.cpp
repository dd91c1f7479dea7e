// The guarded copy on Windows: the pages of both ranges are looked up first,
// and the copy happens only when every one is committed and allows the
// access.

#include "platform/memory_access.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

namespace kel::platform {

namespace {

constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                            PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
constexpr DWORD kWritable = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;

// True when every page of the [count] bytes at [at] is committed with one of
// the [allowed] protections and is no guard page.
bool Accessible(const void* at, std::size_t count, DWORD allowed) {
  auto address = reinterpret_cast<std::uintptr_t>(at);
  const std::uintptr_t end = address + count;
  if (end < address) return false;
  while (address < end) {
    MEMORY_BASIC_INFORMATION region;
    if (VirtualQuery(reinterpret_cast<const void*>(address), &region, sizeof region) == 0) return false;
    if (region.State != MEM_COMMIT || (region.Protect & allowed) == 0 || (region.Protect & PAGE_GUARD) != 0) {
      return false;
    }
    address = reinterpret_cast<std::uintptr_t>(region.BaseAddress) + region.RegionSize;
  }
  return true;
}

}  // namespace

bool CopyGuarded(void* to, const void* from, std::size_t count) {
  if (count == 0) return true;
  if (!Accessible(from, count, kReadable) || !Accessible(to, count, kWritable)) return false;
  std::memmove(to, from, count);
  return true;
}

}  // namespace kel::platform
