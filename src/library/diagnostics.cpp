// Diagnostics: assert and the C library's error number.

#include <cerrno>

#include "engine/calls.h"
#include "engine/context.h"
#include "engine/macros.h"
#include "engine/messages.h"
#include "engine/value.h"
#include "library/groups.h"

namespace kel {

namespace {

// A false value reports 5107; the location line that follows says where.
void Diagnostics_assert(CallFrame& frame) {
  Var* value = GetParameter(frame, 0, PARAM_ANY);
  if (value == nullptr) return;
  int truth = TruthValue(*frame.run, value);
  if (truth == 0) RaiseErrorIfRunning(*frame.run, MSG_5107);
}

void Diagnostics_errno(CallFrame& frame) { ReturnInt(frame, errno); }

void DiagnosticsConstants(MacroTable& macros) { macros.Define("errno", std::string_view("__errno()")); }

constexpr LibraryEntry kDiagnosticsRows[] = {
    {"assert",  Diagnostics_assert, 1, 1},
    {"__errno", Diagnostics_errno,  0, 0},
};

}  // namespace

const LibraryGroup kDiagnosticsGroup{GROUP_DIAGNOSTICS, kDiagnosticsRows, nullptr, nullptr, DiagnosticsConstants};

}  // namespace kel
