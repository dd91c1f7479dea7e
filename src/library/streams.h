#pragma once
// What other groups ask of the standard I/O group about a run's streams.

namespace kel {

struct Context;

// True when [run] has standard input redirected to a file (freopen).
bool StandardInputRedirected(const Context& run);

}  // namespace kel
