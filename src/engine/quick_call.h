#pragma once
// The fast form of a call: arguments that need no operand are handed over as
// they are. Inlined into the general evaluator's call, which tries it first in
// a build with fast paths.

#include <cstdint>
#include <utility>

#include "engine/call_site.h"
#include "engine/functions.h"
#include "engine/quick_int.h"
#include "engine/value.h"

namespace kel {

// The row [index] of the two-dimensional array [array] as the variable
// [row] (on the call's stack, holding a reference to the row), when the row
// is made already; else null.
inline Var* RowArgument(const Var* array, std::int32_t index, Var* row) {
  const auto at = static_cast<std::int32_t>(static_cast<std::uint32_t>(array->index) + static_cast<std::uint32_t>(index));
  const RowSlot* slot = MadeRow(array->data, at);
  if (slot == nullptr) return nullptr;
  ++slot->row->refCount;
  *row = Var{slot->row, slot->origin, 0, 0, 0};
  return row;
}

// The element local[i] of an array local with an integer index had without
// effects, as a variable of its own; null when the argument is not that.
// OPTIMIZATION: a string of an array of strings that the built-in only
// reads ([readOnly]) is passed as its row, which it then reads directly, in
// the variable [row] on the call's stack.
inline Var* QuickElementArgument(CallFrame& frame, const ExprNode* argument, bool readOnly, Var* row) {
  if (argument->left->kind != EX_LOCAL || !(argument->right->flags & EXPR_PURE)) return nullptr;
  Var* array = &frame.locals[argument->left->slot];
  if (array->data == nullptr || (array->flags & VAR_ELEMENT) || array->data->dimension == 0) return nullptr;
  std::int32_t index;
  if (!QuickInt(frame, argument->right, index)) return nullptr;
  if (readOnly && array->data->dimension == 2) {
    if (Var* made = RowArgument(array, index, row)) return made;
  }
  return ElementRef(array, index);
}

// Lets go of a row passed on the call's stack ([row]): a result that is the
// row itself (a built-in handing its argument back) gets a variable of its
// own first.
inline void ReleaseRowArgument(Var* row, Operand& out) {
  if (out.var() == row) {
    Operand owner;
    owner.SetOwned(NewVarOn(row->data, row->index, 0));
    out = std::move(owner);
  }
  ReleaseData(row->data);
}

// Lets go of the variables QuickArguments made, [count] of them, and of the
// members it holds ([held], a bit for each); a result that is one of the
// variables it made (a built-in handing its argument back) takes it over.
// [rows] are the rows passed on the call's stack.
template <bool Script>
[[gnu::always_inline]] inline void ReleaseFreshArguments(std::uint32_t count, Var** args, Var** fresh, std::uint32_t held,
                                                         Operand& out, Var* rows) {
  for (std::uint32_t k = 0; k < count; ++k) {
    if (held & (1u << k)) DropVarHold(args[k]);
    if (fresh[k] == nullptr) continue;
    if (!Script && fresh[k] == rows + k) {
      ReleaseRowArgument(fresh[k], out);
    } else if (!Script && out.var() == fresh[k] && !out.owned()) {
      Operand owner;
      owner.SetOwned(fresh[k]);
      out = std::move(owner);
    } else {
      ReleaseIntVar(fresh[k]);  // (any other variable is released as usual)
    }
  }
}

// OPTIMIZATION: the arguments of a call when every one is a plain variable
// passed by reference, a member local.name found before passed by reference,
// a literal a built-in only reads ([readOnly]), for a built-in an element
// local[i] passed by reference, or an integer computed on the spot. Each
// argument's form (ArgumentForm) was chosen when it was parsed. What they
// need made is held in [fresh], and the members are held as an operand
// holds them ([held]); the caller lets go of both (ReleaseFreshArguments).
// False, with nothing evaluated and nothing held, for anything else.
template <bool Script>
[[gnu::always_inline]] inline bool QuickArguments(CallFrame& frame, const ExprNode* node, std::uint32_t readOnly, Var** args, Var** fresh,
                           std::uint32_t& held, Var* rows) {
  held = 0;
  for (std::uint32_t k = 0; k < node->count; ++k) {
    const ExprNode* argument = node->items[k];
    fresh[k] = nullptr;
    std::int32_t integer;
    Var* member;
    bool taken = false;
    switch (argument->argumentForm) {
      case ARGUMENT_LOCAL:
        args[k] = LocalSlot(frame, argument->slot);
        taken = true;
        break;
      case ARGUMENT_PARAMETER:
        taken = argument->slot < frame.argCount;
        if (taken) args[k] = frame.args[argument->slot];
        break;
      case ARGUMENT_VARIABLE:
        taken = IsLvalue(argument->var);
        if (taken) args[k] = argument->var;
        break;
      case ARGUMENT_LITERAL:
        taken = !Script && argument->var->literal && (readOnly & (1u << k)) != 0;
        if (taken) args[k] = argument->var;
        break;
      case ARGUMENT_INTEGER:
        taken = QuickInt(frame, argument, integer);
        if (taken) args[k] = fresh[k] = NewIntVar(integer);
        break;
      case ARGUMENT_ELEMENT:
        taken = !Script &&
                (fresh[k] = QuickElementArgument(frame, argument, (readOnly & (1u << k)) != 0, rows + k)) != nullptr;
        if (taken) args[k] = fresh[k];
        break;
      case ARGUMENT_MEMBER:
        member = LocalMember(frame, argument);
        taken = member != nullptr;
        if (taken) {
          // The call may take the member away from its structure: the hold
          // keeps the variable until the call is over.
          HoldVar(member);
          held |= 1u << k;
          args[k] = member;
        }
        break;
      default:
        break;
    }
    if (!taken) {
      Operand none;
      ReleaseFreshArguments<Script>(k, args, fresh, held, none, rows);
      return false;
    }
  }
  return true;
}

// The built-in [entry]'s quick form, when it has one, for [count] arguments
// [args]: true when it gave the call's result.
inline bool QuickBuiltin(const LibraryEntry& entry, std::uint32_t count, Var** args, Operand& out) {
  return entry.quick != nullptr && count >= entry.minArgs && count <= entry.maxArgs && entry.quick(args, count, out);
}

// The call [node] (at most kQuickArguments arguments) when every argument is
// one QuickArguments takes.
// True when it called, with [called] the call's result.
[[gnu::always_inline]] inline bool QuickCall(CallFrame& frame, const ExprNode* node, bool script, std::uint32_t readOnly, Operand& out,
                      bool& called) {
  Var* args[kQuickArguments];
  Var* fresh[kQuickArguments];
  Var rows[kQuickArguments];
  std::uint32_t held;
  const bool gathered = script ? QuickArguments<true>(frame, node, 0, args, fresh, held, rows)
                               : QuickArguments<false>(frame, node, readOnly, args, fresh, held, rows);
  if (!gathered) return false;
  called = (!script && QuickBuiltin(*node->function->entry, node->count, args, out)) ||
           CallAt<true>(frame, node, node->function, args, out);
  if (script) {
    ReleaseFreshArguments<true>(node->count, args, fresh, held, out, rows);
  } else {
    ReleaseFreshArguments<false>(node->count, args, fresh, held, out, rows);
  }
  return true;
}

}  // namespace kel
