#pragma once
// Calls: the call frame of a running function, binding a function's names to
// slots and variables on its first call, passing arguments, running script
// and built-in functions, and finding names of variables for messages.

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/operand.h"

namespace kel {

struct Context;
struct FunctionRecord;

struct Token;

// What a call of a function has while it runs. Frames live on the machine
// stack of the interpreter; a run's innermost frame is its Context's frame.
struct CallFrame {
  Context* run = nullptr;
  CallFrame* caller = nullptr;
  FunctionRecord* function = nullptr;
  Var** args = nullptr;               // the arguments, first argument first
  std::int32_t argCount = 0;
  Var* locals = nullptr;              // one per local name, created on first use
  std::uint32_t localCount = 0;
  const char* pendingGoto = nullptr;  // the label a goto is searching for, or null
  // The caller's operand, which takes the return value as it is set (so a
  // result is never moved on its way out); undefined until then.
  Operand* result = nullptr;
  void* libraryData = nullptr;        // a built-in's group state
  std::uint32_t serial = 0;           // this call's number in its run
  const Token* callSite = nullptr;    // where the caller stood when it called (for KEL_TRACE)
};

// Binds the names of the script function [function] and compiles its body,
// once; false (with the error raised) when its names cannot be bound.
bool PrepareFunction(Context& run, FunctionRecord& function);

// Binds the names of [function] without compiling it (the binder writes the
// bound tokens); false (with the error raised) when they cannot be bound.
bool BindFunction(Context& run, FunctionRecord& function);

// The function [name]: the run's script functions first, then the library.
// Null when none is found; with [report] that raises 1403.
FunctionRecord* FindFunction(Context& run, std::string_view name, bool report);

// Calls [function] with [argCount] arguments [args] from [caller] (null for
// the run driver). The return value, or an undefined temporary, goes to
// [result]. Returns false when the run stopped (error or exit request).
bool CallFunction(Context& run, CallFrame* caller, FunctionRecord* function, Var** args,
                  std::int32_t argCount, Operand& result);

// The text the caller wrote for argument [k] (from 0) of [frame]'s call,
// rebuilt from its tokens; empty when the call came from elsewhere.
std::string ArgumentText(const CallFrame& frame, std::int32_t k);

// Argument [k] (from 0) of [frame]'s call; raises 1404 and returns null when
// it was not passed.
Var* Argument(CallFrame& frame, std::int32_t k);

// The Var of local slot [slot] (from 0), created undefined on first use.
inline Var* LocalSlot(CallFrame& frame, std::int32_t slot) {
  Var* local = &frame.locals[slot];
  if (local->data == nullptr) {
    local->data = NewData(KEL_UNKNOWN, 0);
    local->flags = 1;
  }
  return local;
}

// How a built-in's result reaches the call.
enum class ReturnKind : std::uint8_t {
  HANDED_OVER,   // the frame takes [var] over and releases it
  COPIED,        // a fresh variable gets a copy of [var]
  BY_REFERENCE,  // the result refers to [var] itself
};

// Sets [frame]'s return value from [var], as [kind] says.
void SetReturn(CallFrame& frame, Var* var, ReturnKind kind);
void ReturnInt(CallFrame& frame, std::int32_t value);
void ReturnScalar(CallFrame& frame, const Scalar& value);

// A printable name of [var] for messages: a parameter or local of the
// innermost function, a global or environment variable, or a member path
// such as rect.left. Empty when none is found (elements, results).
std::string NameOfVar(Context& run, const Var* var);
// The same search over the variables of [start] and every function that
// called it, then the globals (for messages about built-in arguments).
std::string NameOfVarFrom(Context& run, const Var* var, CallFrame* start);

// Sets member [name] of the structure [structVar] to the integer [value],
// creating it when absent (for structure results of built-ins).
void SetMemberInt(Context& run, Var* structVar, const char* name, std::int32_t value);
// Sets member [name] of [structVar] to a fresh string holding [text].
void SetMemberString(Context& run, Var* structVar, const char* name, std::string_view text);

// A fresh variable holding a copy of [value]: string literals are copied,
// numbers and structures copied, arrays shared.
Var* CopyToFreshVar(Context& run, Operand& value);

}  // namespace kel
