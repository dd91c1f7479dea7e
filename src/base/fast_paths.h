#pragma once
// The switch for the engine's fast paths: the quick integer and statement
// routines, the flat statement code and the call shortcuts. Each only ever
// does what the general routines would do, faster; a build configured with
// KEL_FAST_PATHS=OFF runs everything through the general routines, and the
// tests run on both builds to show that they agree.

namespace kel {

#ifdef KEL_NO_FAST_PATHS
inline constexpr bool kFastPaths = false;
#else
inline constexpr bool kFastPaths = true;
#endif

}  // namespace kel
