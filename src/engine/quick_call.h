#pragma once
// The fast form of a call: arguments that need no operand are handed over as
// they are. Inlined into the general evaluator's call, which tries it first in
// a build with fast paths.

#include <cstdint>

#include "engine/call_site.h"
#include "engine/quick_int.h"
#include "engine/value.h"

namespace kel {

// OPTIMIZATION: the arguments of a call when every one is a plain variable
// passed by reference, a literal a built-in only reads ([readOnly]), or, for
// a script function ([fresh] not null), an integer computed on the spot held
// in [fresh], which the caller releases. False, with nothing evaluated and
// nothing held, for anything else.
template <bool Script>
inline bool QuickArguments(CallFrame& frame, const ExprNode* node, std::uint32_t readOnly, Var** args, Var** fresh) {
  for (std::uint32_t k = 0; k < node->count; ++k) {
    const ExprNode* argument = node->items[k];
    const bool byReference = !(argument->flags & EXPR_FORCE_COPY);
    if (Script) fresh[k] = nullptr;
    std::int32_t integer;
    if (argument->kind == EX_LOCAL && byReference) {
      args[k] = LocalSlot(frame, argument->slot);
    } else if (argument->kind == EX_PARAMETER && argument->slot < frame.argCount && byReference) {
      args[k] = frame.args[argument->slot];
    } else if (argument->kind == EX_VARIABLE && byReference && IsLvalue(argument->var)) {
      args[k] = argument->var;
    } else if (!Script && argument->kind == EX_CONSTANT && argument->var->literal && (readOnly & (1u << k)) != 0) {
      args[k] = argument->var;
    } else if (Script && (argument->kind == EX_BINARY || argument->kind == EX_PREFIX || argument->kind == EX_NUMBER) &&
               (argument->flags & EXPR_PURE) && QuickInt(frame, argument, integer)) {
      args[k] = fresh[k] = NewIntVar(integer);
    } else {
      for (std::uint32_t j = 0; Script && j < k; ++j) {
        if (fresh[j] != nullptr) ReleaseIntVar(fresh[j]);
      }
      return false;
    }
  }
  return true;
}

// The call [node] (at most kQuickArguments arguments) when every argument is
// a plain variable passed by reference, a literal a built-in only reads
// ([readOnly]), or for a [script] function an integer computed on the spot.
// True when it called, with [called] the call's result.
[[gnu::always_inline]] inline bool QuickCall(CallFrame& frame, const ExprNode* node, bool script, std::uint32_t readOnly, Operand& out,
                      bool& called) {
  Var* args[kQuickArguments];
  if (!script) {
    if (!QuickArguments<false>(frame, node, readOnly, args, nullptr)) return false;
    called = CallAt(frame, node, node->function, args, out);
    return true;
  }
  Var* fresh[kQuickArguments];
  if (!QuickArguments<true>(frame, node, 0, args, fresh)) return false;
  called = CallAt(frame, node, node->function, args, out);
  for (std::uint32_t k = 0; k < node->count; ++k) {
    if (fresh[k] != nullptr) ReleaseIntVar(fresh[k]);
  }
  return true;
}

}  // namespace kel
