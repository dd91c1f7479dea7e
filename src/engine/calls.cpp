// Calls: binding a function's names on its first call, frames with their
// locals, the goto restart of a body, argument and return handling, and the
// names of variables that messages show.

#include "engine/calls.h"

#include <cstring>
#include <vector>

#include "base/text.h"
#include "engine/call_run.h"
#include "engine/code.h"
#include "engine/context.h"
#include "engine/environment.h"
#include "engine/evaluate.h"
#include "engine/functions.h"
#include "engine/messages.h"
#include "engine/scope.h"
#include "engine/statement_parts.h"
#include "engine/token.h"
#include "platform/system.h"

namespace kel {

FunctionRecord* FindFunction(Context& run, std::string_view name, bool report) {
  if (FunctionRecord* record = run.functions->Find(name)) return record;
  if (run.builtins.find != nullptr) {
    if (FunctionRecord* builtin = run.builtins.find(name)) return builtin;
  }
  if (report) RaiseErrorIfRunning(run, MSG_1403, std::string(name).c_str());
  return nullptr;
}

Var* Argument(CallFrame& frame, std::int32_t k) {
  if (k >= 0 && k < frame.argCount) return frame.args[k];
  RaiseError(*frame.run, MSG_1404, static_cast<int>(k + 1), frame.function->name.c_str());
  return nullptr;
}

Var* CopyToFreshVar(Context& run, Operand& value) {
  if (value.var() == nullptr) {
    return value.scalar().type == KEL_UNKNOWN ? NewVar(KEL_UNKNOWN) : NewScalarVar(value.scalar());
  }
  Var* source = value.var();
  Scalar number;
  if (ReadNumber(source, number)) return NewScalarVar(number);
  if (source->literal && Arrayness(source) == 1 && source->index == 0 && source->data->payload.elements != nullptr) {
    // A literal's fresh copy: its bytes in storage of their own.
    const VarData* text = source->data;
    Var* copy = NewByteArrayVar(static_cast<const char*>(text->payload.elements),
                                text->elemCount - (text->isString ? 1 : 0), text->isString != 0);
    return copy;
  }
  Var* fresh = NewVar(KEL_UNKNOWN);
  if (!IsDefined(value.var())) return fresh;
  bool ok = value.var()->literal && Arrayness(value.var()) == 1 ? AssignStringLiteral(run, fresh, value.var())
                                                                : Assign(run, fresh, value.var());
  if (!ok) {
    ReleaseVar(fresh);
    return nullptr;
  }
  return fresh;
}

void SetReturn(CallFrame& frame, Var* var, ReturnKind kind) {
  switch (kind) {
    case ReturnKind::COPIED: {
      Operand source;
      source.SetBorrowed(var);
      Var* copy = CopyToFreshVar(*frame.run, source);
      if (copy != nullptr) frame.result->SetOwned(copy);
      break;
    }
    case ReturnKind::HANDED_OVER: frame.result->SetOwned(var); break;
    case ReturnKind::BY_REFERENCE: frame.result->SetHeld(var); break;  // it may be a member
  }
}

void SetMemberInt(Context& run, Var* structVar, const char* name, std::int32_t value) {
  Var* member = FindMember(structVar, name, true);
  if (!IsNumericScalar(member) && !SetTypeAndDims(run, member, KEL_INT, 0)) return;
  SetInt(member, value);
}

void SetMemberString(Context& run, Var* structVar, const char* name, std::string_view text) {
  Var* member = FindMember(structVar, name, true);
  UndefineVar(member);
  Var* literal = NewByteArrayVar(text.data(), static_cast<std::uint32_t>(text.size()), true);
  static_cast<void>(AssignStringLiteral(run, member, literal));  // an undefined member always takes it
  ReleaseVar(literal);
}

void ReturnScalar(CallFrame& frame, const Scalar& value) { frame.result->SetScalar(value); }

void ReturnInt(CallFrame& frame, std::int32_t value) { ReturnScalar(frame, MakeInt(value)); }

// ===================================================================
// Binding names
// ===================================================================

namespace {

// Moves the parameter names into the name table, last parameter first, and
// removes their tokens.
void BindParameters(FunctionRecord& function) {
  Token* callClose = PrevSignificant(function.body);
  if (callClose == nullptr || callClose->code != TOK_CALL_CLOSE) return;
  std::vector<Token*> parameters;
  for (Token* at = NextSignificant(callClose->partner); at != nullptr && at != callClose; at = NextSignificant(at)) {
    parameters.push_back(at);
  }
  for (auto it = parameters.rbegin(); it != parameters.rend(); ++it) function.names.emplace_back((*it)->data.text);
  function.paramCount = static_cast<std::uint32_t>(parameters.size());
  for (Token* parameter : parameters) DestroyToken(parameter);
}

void MakeSlot(Token* token, std::int32_t slot) {
  delete[] token->data.text;
  token->code = TOK_VARSLOT;
  token->data.slot = slot;
}

void MakeValue(Token* token, Var* var) {
  delete[] token->data.text;
  token->code = TOK_VALUE;
  token->data.value = var;
}

// The parameter or local [name] of the script function running in [frame]
// (null when none), for code a nested run gives that function to run: only
// the nested run's global code sees them, which is removed before the call
// that lent them returns.
Var* CallerLocal(CallFrame* frame, std::string_view name) {
  if (frame == nullptr) return nullptr;
  const FunctionRecord& function = *frame->function;
  const auto paramCount = static_cast<std::int32_t>(function.paramCount);
  for (std::size_t i = function.names.size(); i-- > 0;) {
    if (!EqualsIgnoreCase(function.names[i], name)) continue;
    const std::int32_t slot = static_cast<std::int32_t>(i) - paramCount;
    if (slot >= 0) return static_cast<std::uint32_t>(slot) < frame->localCount ? LocalSlot(*frame, slot) : nullptr;
    const std::int32_t position = -1 - slot;
    return position < frame->argCount ? frame->args[position] : nullptr;
  }
  return nullptr;
}

// Binds every name of the body: parameters and locals to slots, names without
// lowercase letters to environment variables, others to globals; names the
// global code uses become globals, names a function uses alone become locals.
bool BindNames(Context& run, FunctionRecord& function) {
  const bool global = function.name == kGlobalInitName;
  if (!global) BindParameters(function);
  const auto paramCount = static_cast<std::int32_t>(function.paramCount);
  for (Token* at = function.body; at != nullptr && at != function.body->partner; at = at->next) {
    if (at->code != TOK_NAME) continue;
    std::string_view name = at->data.text;
    if (!global) {
      bool bound = false;
      for (std::size_t i = function.names.size(); i-- > 0;) {
        if (EqualsIgnoreCase(function.names[i], name)) {
          MakeSlot(at, static_cast<std::int32_t>(i) - paramCount);
          bound = true;
          break;
        }
      }
      if (bound) continue;
    }
    if (!HasLowercaseLetter(name)) {
      run.position = at;
      Var* variable = EnvLookup(run, name);
      if (variable == nullptr) return false;
      MakeValue(at, variable);
      continue;
    }
    if (Var* borrowed = global ? CallerLocal(run.callerFrame, name) : nullptr) {
      MakeValue(at, borrowed);
    } else if (Var* variable = run.globals->Lookup(name)) {
      MakeValue(at, variable);
    } else if (global) {
      MakeValue(at, run.globals->Create(name));
    } else {
      function.names.emplace_back(name);
      MakeSlot(at, static_cast<std::int32_t>(function.names.size() - 1) - paramCount);
    }
  }
  function.nameCount = static_cast<std::uint32_t>(function.names.size());
  return true;
}

}  // namespace

bool BindFunction(Context& run, FunctionRecord& function) {
  if (!function.resolved) {
    if (!BindNames(run, function)) return false;
    function.resolved = 1;
  }
  return true;
}

bool PrepareFunction(Context& run, FunctionRecord& function) {
  if (!BindFunction(run, function)) return false;
  if (!function.compiled) function.compiled = CompileFunction(function);
  return true;
}

// Runs the body, and again from its start while a goto searches its label.
void RunBody(CallFrame& frame, const StmtNode* body) {
  if (!BeforeRunning(frame)) return;
  std::uint16_t status = RunSequence(frame, body, 0, kBodyMode);
  while (frame.pendingGoto != nullptr && frame.run->runState == RUN_RUNNING) {
    if (status != STATUS_GOTO) {
      RaiseErrorIfRunning(*frame.run, MSG_1405, frame.pendingGoto);
      return;
    }
    if (!BeforeRunning(frame)) return;  // a goto back may loop forever
    status = RunSequence(frame, body, 0, kBodyMode);
  }
}

bool TooManyLocals(CallFrame& frame) { return RaiseErrorAlways(*frame.run, MSG_8000); }

bool CallFunction(Context& run, CallFrame* caller, FunctionRecord* function, Var** args, std::int32_t argCount,
                  Operand& result) {
  return CallFunctionHere(run, caller, function, args, argCount, result);
}

// ===================================================================
// Names of variables
// ===================================================================

namespace {

// Searches the member tree of [holder] (named [path]) for [target].
bool FindInMembers(const Var* holder, const Var* target, std::string& path, int depth) {
  if (!IsStructure(holder) || depth > 32) return false;
  for (MemberNode* node = MembersOf(holder)->head; node != nullptr; node = node->next) {
    std::string candidate = path + "." + node->name;
    if (node->var == target || FindInMembers(node->var, target, candidate, depth + 1)) {
      path = candidate;
      return true;
    }
  }
  return false;
}

bool Matches(const Var* holder, const char* name, const Var* target, std::string& found) {
  std::string path = name;
  if (holder == target || FindInMembers(holder, target, path, 0)) {
    found = path;
    return true;
  }
  return false;
}

bool SearchScope(const VarList* scope, const Var* target, std::string& found) {
  for (; scope != nullptr; scope = scope->Parent()) {
    for (ScopeNode* node = scope->First(); node != nullptr; node = node->next) {
      if (Matches(node->var, node->name, target, found)) return true;
    }
  }
  return false;
}

bool SearchFrame(const CallFrame* frame, const Var* var, std::string& found) {
  if (frame == nullptr || frame->function->kind != FUNCTION_SCRIPT) return false;
  const FunctionRecord& function = *frame->function;
  for (std::uint32_t k = 0; k < function.paramCount && static_cast<std::int32_t>(k) < frame->argCount; ++k) {
    const std::string& name = function.names[function.paramCount - 1 - k];
    if (Matches(frame->args[k], name.c_str(), var, found)) return true;
  }
  // A bound program's functions keep their name count but not the names.
  if (function.names.size() < function.paramCount + frame->localCount) return false;
  for (std::uint32_t j = 0; j < frame->localCount; ++j) {
    if (frame->locals[j].data == nullptr) continue;
    const std::string& name = function.names[function.paramCount + j];
    if (Matches(&frame->locals[j], name.c_str(), var, found)) return true;
  }
  return false;
}

std::string SearchNames(Context& run, const Var* var, CallFrame* start, bool callers) {
  std::string found;
  if (IsElementRef(var)) return found;
  for (CallFrame* frame = start; frame != nullptr; frame = callers ? frame->caller : nullptr) {
    if (SearchFrame(frame, var, found)) return found;
  }
  if (SearchScope(run.globals, var, found)) return found;
  SearchScope(run.environment, var, found);
  return found;
}

}  // namespace

std::string NameOfVar(Context& run, const Var* var) { return SearchNames(run, var, run.frame, false); }

std::string NameOfVarFrom(Context& run, const Var* var, CallFrame* start) { return SearchNames(run, var, start, true); }

bool RaiseUndefined(Context& run, const Var* var) {
  const bool running = run.runState == RUN_RUNNING;
  const std::string name = var != nullptr ? NameOfVar(run, var) : std::string();
  if (name.empty()) {
    RaiseError(run, MSG_1608);
  } else {
    RaiseError(run, MSG_1607, name.c_str());
  }
  if (running && run.runState == RUN_ERROR) TraceArgument(run, var);
  return false;
}

}  // namespace kel
