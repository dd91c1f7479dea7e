// The groups whose functions are not built yet: their predefined constants
// exist from the start, so scripts and includes see them.

#include "engine/scope.h"
#include "engine/value.h"
#include "front/context.h"
#include "front/macros.h"
#include "library/groups.h"

namespace kel {

namespace {

void DataConstants(MacroTable& macros) {
  static const char* const kTypes[] = {"UWORD8", "SWORD8",  "UWORD16", "SWORD16", "UWORD24", "SWORD24",
                                       "UWORD32", "SWORD32", "FLOAT32", "FLOAT64", "FLOAT80"};
  for (long i = 0; i < 11; ++i) macros.Define(kTypes[i], -1 - i);
  macros.Define("KEL_UNKNOWN", 0L);
  macros.Define("KEL_STRUCT", 1L);
  macros.Define("KEL_BYTE", 2L);
  macros.Define("KEL_INT", 3L);
  macros.Define("KEL_FLOAT", 4L);
  macros.Define("BIG_ENDIAN", 0L);
  macros.Define("FATTR_RDONLY", 1L);
  macros.Define("FATTR_HIDDEN", 2L);
  macros.Define("FATTR_SYSTEM", 4L);
  macros.Define("FATTR_SUBDIR", 16L);
  macros.Define("FATTR_ARCHIVE", 32L);
  macros.Define("FATTR_NORMAL", 0L);
  macros.Define("VERSION_MAJOR", 2L);
  macros.Define("VERSION_MINOR", 11L);
  macros.Define("VERSION_STRING", std::string_view("\"Community\""));
  macros.Define("INTERP_FILE", 1L);
  macros.Define("INTERP_TEXT", 2L);
  macros.Define("INTERP_LOAD", 8L);
  macros.Define("INTERP_NOINHERIT_LOCAL", 4L);
  macros.Define("INTERP_NOINHERIT_GLOBAL", 32L);
  macros.Define("P_WAIT", 0L);
  macros.Define("P_NOWAIT", 1L);
  macros.Define("P_OVERLAY", 2L);
}

// The data group's start: the global _BigEndianMode, 0 (least significant
// byte first).
void* StartData(Context& run, void*) {
  Var* mode = run.globals->LookupHere("_BigEndianMode");
  if (mode == nullptr) mode = run.globals->Create("_BigEndianMode");
  if (SetTypeAndDims(run, mode, KEL_INT, 0)) SetInt(mode, 0);
  return nullptr;
}


}  // namespace

const LibraryGroup kDataGroup{GROUP_DATA, {}, StartData, nullptr, DataConstants};
const LibraryGroup kKeyboardGroup{GROUP_KEYBOARD, {}, nullptr, nullptr, nullptr};
const LibraryGroup kDynamicLinkGroup{GROUP_DYNAMIC_LINK, {}, nullptr, nullptr, nullptr};
const LibraryGroup kOleGroup{GROUP_OLE, {}, nullptr, nullptr, nullptr};

}  // namespace kel
