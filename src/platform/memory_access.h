#pragma once
// Memory at any address a script names (peek and poke): copied under a guard,
// so that an address the process cannot read or write is a refusal, never the
// end of the process.

#include <cstddef>

namespace kel::platform {

// Copies [count] bytes from [from] to [to], either of which may lie anywhere.
// False when part of [from] cannot be read or part of [to] cannot be written
// (some bytes may have been copied by then).
bool CopyGuarded(void* to, const void* from, std::size_t count);

}  // namespace kel::platform
