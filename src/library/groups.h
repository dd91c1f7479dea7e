#pragma once
// The library groups; each is defined by the file of its functions.

#include "library/tables.h"

namespace kel {

extern const LibraryGroup kDataGroup;
extern const LibraryGroup kKeyboardGroup;
extern const LibraryGroup kCtypeGroup;
extern const LibraryGroup kMathGroup;
extern const LibraryGroup kDiagnosticsGroup;
extern const LibraryGroup kDynamicLinkGroup;
extern const LibraryGroup kVarargsGroup;
extern const LibraryGroup kStdioGroup;
extern const LibraryGroup kStdlibGroup;
extern const LibraryGroup kStringGroup;
extern const LibraryGroup kTimeGroup;
extern const LibraryGroup kOleGroup;

}  // namespace kel
