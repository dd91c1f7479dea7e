// Library tables: group registration in the one fixed order, name lookup,
// the argument-count check, and the checked accessor of arguments.

#include "library/tables.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/text.h"
#include "engine/calls.h"
#include "engine/context.h"
#include "engine/functions.h"
#include "engine/messages.h"
#include "engine/value.h"
#include "library/groups.h"

namespace kel {

namespace {

std::span<const LibraryEntry> hostRows[GROUP_COUNT];
std::span<const LibraryEntry> shellRows;

// The windows group belongs to the windowed program, which gives its rows and
// its per-run state.
LibraryGroup windowsGroup{GROUP_WINDOWS, {}, nullptr, nullptr, nullptr};

// The groups in registration order, written once.
const LibraryGroup* const kGroups[] = {
    &kDataGroup,   &kKeyboardGroup, &kCtypeGroup,  &kMathGroup,   &kDiagnosticsGroup,
    &kDynamicLinkGroup, &kVarargsGroup, &kStdioGroup, &kStdlibGroup, &kStringGroup,
    &kTimeGroup,   &windowsGroup, &kOleGroup,
};

// Records of the built-ins calls have found, one per table row, made on the
// first lookup of each.
std::unordered_map<const LibraryEntry*, std::unique_ptr<FunctionRecord>>& Records() {
  static std::unordered_map<const LibraryEntry*, std::unique_ptr<FunctionRecord>> records;
  return records;
}

FunctionRecord* RecordFor(const LibraryEntry& entry, LibraryGroupId group) {
  auto& record = Records()[&entry];
  if (!record) {
    record = std::make_unique<FunctionRecord>();
    record->name = entry.name;
    record->kind = FUNCTION_BUILTIN;
    record->entry = &entry;
    record->group = group;
  }
  return record.get();
}

}  // namespace

void SetHostRows(LibraryGroupId group, std::span<const LibraryEntry> rows) { hostRows[group] = rows; }

void SetShellRows(std::span<const LibraryEntry> rows) { shellRows = rows; }

void SetHostGroupState(void* (*start)(Context& run, void* parentState), void (*end)(Context& run, void* state)) {
  windowsGroup.start = start;
  windowsGroup.end = end;
}

void RegisterLibrary(Context& top) {
  top.builtins = {FindBuiltin, CallBuiltin};
  for (const LibraryGroup* group : kGroups) {
    if (group->defineConstants != nullptr) group->defineConstants(*top.defines);
    if (group->start != nullptr) top.groupStates[group->id] = group->start(top, nullptr);
  }
  top.startedGroups = true;
}

void InheritLibrary(Context& run) {
  Context& parent = *run.parent;
  for (const LibraryGroup* group : kGroups) {
    void* parentState = parent.groupStates[group->id];
    if (group->start != nullptr) run.groupStates[group->id] = group->start(run, parentState);
  }
  run.startedGroups = true;
}

void DestroyLibrary(Context& run) {
  if (!run.startedGroups) return;
  run.startedGroups = false;
  for (std::size_t i = std::size(kGroups); i-- > 0;) {
    const LibraryGroup* group = kGroups[i];
    if (group->end != nullptr && run.groupStates[group->id] != nullptr) group->end(run, run.groupStates[group->id]);
    run.groupStates[group->id] = nullptr;
  }
}

// A linear search, the group registered last first: a call site looks its
// function up once, so an index would cost every run more than it saves.
FunctionRecord* FindBuiltin(std::string_view name) {
  for (const LibraryEntry& entry : shellRows) {
    if (EqualsIgnoreCase(entry.name, name)) return RecordFor(entry, GROUP_DATA);
  }
  for (std::size_t i = std::size(kGroups); i-- > 0;) {
    const LibraryGroup& group = *kGroups[i];
    for (const auto rows : {group.rows, group.moreRows, hostRows[group.id]}) {
      for (const LibraryEntry& entry : rows) {
        if (EqualsIgnoreCase(entry.name, name)) return RecordFor(entry, group.id);
      }
    }
  }
  return nullptr;
}

const char* CalledName(const CallFrame& frame) { return frame.function->name.c_str(); }

std::uint32_t CalledVariant(const CallFrame& frame) { return frame.function->entry->variant; }

void* GroupState(const CallFrame& frame, LibraryGroupId group) { return frame.run->groupStates[group]; }

void CallBuiltin(CallFrame& frame) {
  const LibraryEntry& entry = *frame.function->entry;
  const auto count = static_cast<unsigned>(frame.argCount);
  if (count < entry.minArgs || (entry.maxArgs != ARGS_ANY && count > entry.maxArgs)) {
    RaiseErrorIfRunning(*frame.run, MSG_5001, frame.argCount, entry.name);
    return;
  }
  frame.libraryData = frame.run->groupStates[frame.function->group];
  entry.handler(frame);
}

// ===================================================================
// Argument checks
// ===================================================================

namespace {

// The phrase of the first check [var] fails under [mode], or MSG_NOT_FOUND.
MessageId FailedCheck(Var* var, int mode) {
  const int depth = Arrayness(var);
  const int kind = var->data->type;
  if ((mode & (PARAM_WHOLE | PARAM_NUMERIC | PARAM_LONG | PARAM_STRUCT)) != 0 && depth != 0) return MSG_CHECK_NOT_ARRAY;
  auto hasStorage = [var]() { return ResolveArray(var).data->payload.elements != nullptr; };
  switch (mode) {
    case PARAM_WHOLE: return kind == KEL_BYTE || kind == KEL_INT ? MSG_NOT_FOUND : MSG_CHECK_WHOLE;
    case PARAM_NUMERIC: return IsNumericKind(kind) ? MSG_NOT_FOUND : MSG_CHECK_NUMERIC;
    case PARAM_LONG: return kind == KEL_INT ? MSG_NOT_FOUND : MSG_CHECK_LONG;
    case PARAM_STRING:
    case PARAM_BUFFER:
      return depth == 1 && kind == KEL_BYTE && hasStorage() ? MSG_NOT_FOUND : MSG_CHECK_CHARACTERS;
    case PARAM_ARRAY: return depth > 0 && hasStorage() ? MSG_NOT_FOUND : MSG_CHECK_ARRAY;
    case PARAM_STRUCT: return kind == KEL_STRUCT ? MSG_NOT_FOUND : MSG_CHECK_STRUCT;
    default: return MSG_NOT_FOUND;
  }
}

// The names longer than this are not shown in a 5002 message.
constexpr std::size_t kMaxShownName = 96;

// The 5002 report of a failed check. (Made apart, so that a check that
// passes, as nearly every check does, sets up none of its texts.)
[[gnu::noinline]] bool ReportCheck(CallFrame& frame, Var* var, MessageId failed, int parameter) {
  std::string number = parameter > 0 ? " " + std::to_string(parameter) : std::string();
  std::string name = NameOfVarFrom(*frame.run, var, frame.caller);
  std::string shown = !name.empty() && name.size() < kMaxShownName ? "(" + name + ") " : std::string();
  return RaiseErrorIfRunning(*frame.run, MSG_5002, number.c_str(), shown.c_str(), CalledName(frame), MessageText(failed));
}

bool Check(CallFrame& frame, Var* var, int mode, int parameter) {
  MessageId failed = FailedCheck(var, mode);
  if (failed == MSG_NOT_FOUND) [[likely]] {
    if (mode == PARAM_STRING) MarkString(ResolveArray(var).data);
    return true;
  }
  return ReportCheck(frame, var, failed, parameter);
}

}  // namespace

Var* GetParameterSlowly(CallFrame& frame, int i, int mode) {
  if (i >= frame.argCount) {
    RaiseError(*frame.run, MSG_1404, i + 1, CalledName(frame));
    return nullptr;
  }
  Var* var = frame.args[i];
  if (mode == PARAM_ANY) return var;
  return Check(frame, var, mode, i + 1) ? var : nullptr;
}

bool CheckValueSlowly(CallFrame& frame, Var* var, int mode) { return Check(frame, var, mode, 0); }

}  // namespace kel
