// The text of a call's arguments, rebuilt from the caller's tokens, so that
// a traced error can show what the caller passed.

#include <cstdio>
#include <cstring>
#include <string>

#include "base/text.h"
#include "engine/calls.h"
#include "engine/functions.h"
#include "engine/token.h"
#include "engine/value.h"

namespace kel {

namespace {

// The name of the caller's slot [slot] (locals from 0, parameters below 0).
std::string SlotName(const FunctionRecord* caller, std::int32_t slot) {
  if (caller == nullptr || caller->kind != FUNCTION_SCRIPT) return "?";
  const std::size_t index = slot >= 0 ? caller->paramCount + static_cast<std::size_t>(slot)
                                      : caller->paramCount - 1 - static_cast<std::size_t>(-1 - slot);
  return index < caller->names.size() ? caller->names[index] : "?";
}

std::string ValueText(const Var* value) {
  if (value == nullptr) return "?";
  const VarData* data = value->data;
  if (data->dimension == 1 && data->type == KEL_BYTE) {
    const auto* bytes = reinterpret_cast<const char*>(ByteElements(data));
    std::string text = bytes != nullptr ? std::string(bytes, strnlen(bytes, data->elemCount)) : std::string();
    const char* quote = data->isString ? "\"" : "'";
    return quote + text + quote;
  }
  if (!IsNumericScalar(value)) return "?";
  char buffer[64];
  if (data->type == KEL_FLOAT) {
    std::snprintf(buffer, sizeof buffer, "%g", GetFloat(value));
  } else {
    std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(GetInt(value)));
  }
  return buffer;
}

// The text of one token as the caller wrote it, more or less.
std::string TokenSource(const Token* token, const FunctionRecord* caller) {
  switch (token->code) {
    case TOK_NAME: return token->data.text != nullptr ? token->data.text : "?";
    case TOK_VARSLOT: return SlotName(caller, token->data.slot);
    case TOK_VALUE: return ValueText(token->data.value);
    case TOK_MEMBER: return std::string(".") + (token->data.text != nullptr ? token->data.text : "?");
    case TOK_CALL_OPEN: return std::string(token->data.text != nullptr ? token->data.text : "?") + "(";
    case TOK_CALL_RESOLVED: return token->data.function->name + "(";
    case TOK_ARG_COMMA:
    case TOK_COMMA: return ", ";
    default: break;
  }
  const int level = TokenLevel(token->code);
  const std::string text = TokenCodeText(token->code);
  if (level >= 1 && level <= LEVEL_MULTIPLICATIVE) return " " + text + " ";  // a binary operator
  return text;
}

// The name a call token calls.
std::string CalledName(const Token* open) {
  if (open->code == TOK_CALL_RESOLVED) return open->data.function->name;
  return open->data.text != nullptr ? open->data.text : "";
}

}  // namespace

std::string ArgumentText(const CallFrame& frame, std::int32_t k) {
  const Token* open = frame.callSite;
  if (open == nullptr || (open->code != TOK_CALL_OPEN && open->code != TOK_CALL_RESOLVED) ||
      open->partner == nullptr || !EqualsIgnoreCase(CalledName(open), frame.function->name)) {
    return {};  // called from elsewhere (a built-in calling back, the driver)
  }
  const FunctionRecord* caller = frame.caller != nullptr ? frame.caller->function : nullptr;
  std::string text;
  std::int32_t argument = 0;
  for (const Token* at = open->next; at != nullptr && at != open->partner; at = at->next) {
    if (IsMarker(at->code)) continue;
    if (at->code == TOK_ARG_COMMA) {
      if (++argument > k) break;
      continue;
    }
    // A nested call, group or index is taken whole, its commas included.
    const bool opens = at->code == TOK_CALL_OPEN || at->code == TOK_CALL_RESOLVED || at->code == TOK_GROUP_OPEN ||
                       at->code == TOK_INDEX_OPEN;
    const Token* last = opens && at->partner != nullptr ? at->partner : at;
    for (const Token* part = at;; part = part->next) {
      if (argument == k && !IsMarker(part->code)) text += TokenSource(part, caller);
      if (part == last) break;
    }
    at = last;
  }
  return text;
}

}  // namespace kel
