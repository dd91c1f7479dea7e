#pragma once
// Library tables: built-in functions in groups of table rows, their
// registration for a run with start and end hooks and per-run state, lookup
// by name, and the checked accessor through which handlers fetch arguments.

#include <cstdint>
#include <span>
#include <string_view>

#include "engine/calls.h"
#include "engine/functions.h"
#include "engine/value.h"

namespace kel {

struct CallFrame;
struct Context;
struct FunctionRecord;
struct Var;
class MacroTable;

// The groups, in the order they register.
enum LibraryGroupId : std::uint8_t {
  GROUP_DATA = 0,    // data, process and screen
  GROUP_KEYBOARD,
  GROUP_CTYPE,
  GROUP_MATH,
  GROUP_DIAGNOSTICS,
  GROUP_DYNAMIC_LINK,
  GROUP_VARARGS,
  GROUP_STDIO,
  GROUP_STDLIB,
  GROUP_STRING,
  GROUP_TIME,
  GROUP_WINDOWS,     // the windowed program only
  GROUP_OLE,
  GROUP_COUNT
};

// What one group contributes: its rows, its hooks and its constants.
struct LibraryGroup {
  LibraryGroupId id;
  std::span<const LibraryEntry> rows;
  // Makes the group's per-run state; [parentState] is the enclosing run's.
  void* (*start)(Context& run, void* parentState);
  // Ends a run's state: releases what the group holds for the run.
  void (*end)(Context& run, void* state);
  // Enters the group's predefined constants as macros.
  void (*defineConstants)(MacroTable& macros);
  // Rows kept in a file of their own (the data group's process functions).
  std::span<const LibraryEntry> moreRows = {};
};

// Argument check modes of GetParameter and CheckValue.
enum ParamMode : int {
  PARAM_ANY = 0,
  PARAM_WHOLE = 1,     // byte or integer, not an array
  PARAM_NUMERIC = 2,   // byte, integer or float, not an array
  PARAM_LONG = 4,      // integer, not an array
  PARAM_STRING = 8,    // one-dimensional byte array with storage, then marked as text
  PARAM_BUFFER = 16,   // one-dimensional byte array with storage
  PARAM_ARRAY = 32,    // any array with storage
  PARAM_STRUCT = 64,   // a structure, not an array
};

// Rows a host program adds to [group] (its screen and keyboard functions).
void SetHostRows(LibraryGroupId group, std::span<const LibraryEntry> rows);
// The per-run state of the windows group, which the windowed program gives.
void SetHostGroupState(void* (*start)(Context& run, void* parentState), void (*end)(Context& run, void* state));
// Rows that exist while the interactive shell runs (its filter functions).
void SetShellRows(std::span<const LibraryEntry> rows);

// Registers every group for the top-level context: enters the constants and
// starts each group's state.
void RegisterLibrary(Context& top);
// A run that owns its resources starts its own state of every group, each
// from the parent's state.
void InheritLibrary(Context& run);
// Ends every group state the context started, newest group first.
void DestroyLibrary(Context& run);

// The built-in [name] (letters compared without regard to case), or null.
FunctionRecord* FindBuiltin(std::string_view name);

// Calls the built-in of [frame]: checks the argument count (5001) and runs
// the handler with its group's state.
void CallBuiltin(CallFrame& frame);

Var* GetParameterSlowly(CallFrame& frame, int i, int mode);
bool CheckValueSlowly(CallFrame& frame, Var* var, int mode);

// OPTIMIZATION: the checks that need nothing but the value's shape, which
// nearly every argument passes, are made inline.
inline bool PassesAtOnce(const Var* var, int mode) {
  switch (mode) {
    case PARAM_ANY: return true;
    case PARAM_NUMERIC: return IsNumericScalar(var);
    case PARAM_STRUCT: return IsStructure(var);
    case PARAM_BUFFER:  // (a byte array of its own; a row is checked the long way)
      return var->data->dimension == 1 && !IsElementRef(var) && var->data->type == KEL_BYTE &&
             var->data->payload.elements != nullptr;
    default: return false;
  }
}

// Argument [i] (from 0) checked against [mode]; null after raising 1404 or
// 5002, when the handler must return at once without a result.
inline Var* GetParameter(CallFrame& frame, int i, int mode) {
  if (i < frame.argCount && PassesAtOnce(frame.args[i], mode)) return frame.args[i];
  return GetParameterSlowly(frame, i, mode);
}
// The same checks on a value the handler holds; false after raising 5002.
inline bool CheckValue(CallFrame& frame, Var* var, int mode) {
  return PassesAtOnce(var, mode) || CheckValueSlowly(frame, var, mode);
}

// The name of the built-in being called, as its table row spells it (for
// messages).
const char* CalledName(const CallFrame& frame);

// The variant of the built-in being called, from its table row.
std::uint32_t CalledVariant(const CallFrame& frame);

// The group state of [group] in the run of [frame].
void* GroupState(const CallFrame& frame, LibraryGroupId group);

}  // namespace kel
