// Environment variables: parsing NAME[.member|[index]]...=value entries into
// typed script variables.

#include "engine/environment.h"

#include <memory>

#include "base/c_long.h"
#include "base/literals.h"
#include "base/text.h"
#include "engine/code.h"
#include "engine/context.h"
#include "engine/messages.h"
#include "engine/scope.h"
#include "engine/value.h"
#include "platform/system.h"

namespace kel {

EnvBlock::EnvBlock() : entries_(platform::EnvironmentEntries()), received_(entries_) {}

bool EntryBelongsTo(std::string_view entry, std::string_view name) {
  if (entry.size() <= name.size() || !StartsWithIgnoreCase(entry, name)) return false;
  char next = entry[name.size()];
  return next == '=' || next == '.' || next == '[';
}

namespace {

constexpr std::string_view kOperatorCharacters = "+-<>&|=!*/%^~?:,{};()[].'\"`#";

struct OwnedVar {
  void operator()(Var* var) const { ReleaseVar(var); }
};
using VarHolder = std::unique_ptr<Var, OwnedVar>;

// True when [target] can take a value of [kind] and [arrayness] without the
// errors of a changing array element.
bool CanHold(const Var* target, int kind, int arrayness) {
  if (!IsElementRef(target) || target->data->type == KEL_UNKNOWN) return true;
  return target->data->type == kind && Arrayness(target) == arrayness;
}

VarHolder ParseValueText(Context& context, std::string_view& text);

// {literal, literal, ...} into a new array; the first element fixes its
// kind and depth.
VarHolder ParseList(Context& context, std::string_view& text) {
  // Lists nested deeper than the machine stack allows do not parse (6090).
  if (platform::StackRemaining() < kStackGuard) return nullptr;
  text.remove_prefix(1);
  std::vector<VarHolder> elements;
  for (;;) {
    while (!text.empty() && (text[0] == ' ' || text[0] == '\t')) text.remove_prefix(1);
    if (!text.empty() && text[0] == '}' && elements.empty()) break;
    VarHolder element = ParseValueText(context, text);
    if (!element) return nullptr;
    elements.push_back(std::move(element));
    while (!text.empty() && (text[0] == ' ' || text[0] == '\t')) text.remove_prefix(1);
    if (text.empty()) return nullptr;
    if (text[0] == ',') {
      text.remove_prefix(1);
      continue;
    }
    if (text[0] == '}') break;
    return nullptr;
  }
  text.remove_prefix(1);
  if (elements.empty()) return nullptr;
  const Var* first = elements[0].get();
  VarHolder array(NewVar(first->data->type, Arrayness(first) + 1));
  for (std::size_t k = 0; k < elements.size(); ++k) {
    if (Arrayness(elements[k].get()) != Arrayness(first)) return nullptr;
    VarHolder slot(ElementRef(array.get(), static_cast<std::int32_t>(k)));
    if (!CanHold(slot.get(), elements[k]->data->type, Arrayness(elements[k].get()))) return nullptr;
    if (!Assign(context, slot.get(), elements[k].get())) return nullptr;
  }
  return array;
}

// One literal at the start of [text]: a number, a quoted text or a list.
VarHolder ParseValueText(Context& context, std::string_view& text) {
  if (text.empty()) return nullptr;
  char c = text[0];
  if (c == '{') return ParseList(context, text);
  if (c == '"' || c == '\'' || c == '`') {
    auto literal = ParseQuoted(text);
    if (!literal) return nullptr;
    text.remove_prefix(literal->length);
    if (c == '\'' && literal->bytes.size() == 1) return VarHolder(NewByteVar(static_cast<std::uint8_t>(literal->bytes[0])));
    bool isString = c != '\'';
    return VarHolder(NewByteArrayVar(literal->bytes.data(), static_cast<std::uint32_t>(literal->bytes.size()), isString));
  }
  if ((c >= '0' && c <= '9') || (c == '.' && text.size() > 1 && text[1] >= '0' && text[1] <= '9')) {
    NumberLiteral number = ParseNumber(text);
    text.remove_prefix(number.length);
    return VarHolder(number.isFloat ? NewFloatVar(number.real) : NewIntVar(number.integer));
  }
  return nullptr;
}

// Stores the text after "=" into [target]: a complete literal as that
// literal, anything else as the raw text.
bool StoreValue(Context& context, Var* target, std::string_view value) {
  std::string_view rest = value;
  VarHolder literal = ParseValueText(context, rest);
  if (!literal || !rest.empty()) literal = VarHolder(NewByteArrayVar(value.data(), static_cast<std::uint32_t>(value.size()), true));
  if (!CanHold(target, literal->data->type, Arrayness(literal.get()))) return false;
  if (Arrayness(literal.get()) == 1 && literal->data->type == KEL_BYTE) {
    return AssignStringLiteral(context, target, literal.get());
  }
  return Assign(context, target, literal.get());
}

// Parses the selectors and value of one [entry] (after the variable's name)
// into [var].
bool ParseEntry(Context& context, Var* var, std::string_view rest) {
  Var* target = var;
  std::vector<VarHolder> elements;  // element references stay alive while used
  while (!rest.empty()) {
    char c = rest[0];
    if (c == '=') return StoreValue(context, target, rest.substr(1));
    if (c == '.') {
      rest.remove_prefix(1);
      std::size_t end = 0;
      while (end < rest.size() && kOperatorCharacters.find(rest[end]) == std::string_view::npos) ++end;
      if (end == 0 || (rest[0] >= '0' && rest[0] <= '9')) return false;
      if (!IsStructure(target)) {
        if (Arrayness(target) != 0 && target->data->type != KEL_UNKNOWN) return false;
        if (!CanHold(target, KEL_STRUCT, 0) || !SetTypeAndDims(context, target, KEL_STRUCT, 0)) return false;
      }
      target = FindMember(target, rest.substr(0, end), true);
      rest.remove_prefix(end);
      continue;
    }
    if (c == '[') {
      std::size_t close = rest.find(']');
      if (close == std::string_view::npos || close == 1) return false;
      std::string digits(rest.substr(1, close - 1));
      char* end = nullptr;
      const std::int32_t index = StringToLong32(digits.c_str(), &end, 10);
      if (*end != '\0') return false;
      if (Arrayness(target) == 0 && target->data->type != KEL_UNKNOWN) return false;
      elements.emplace_back(ElementRef(target, index));
      target = elements.back().get();
      rest.remove_prefix(close + 1);
      continue;
    }
    return false;
  }
  return false;
}

}  // namespace

Var* EnvLookup(Context& context, std::string_view name) {
  if (Var* known = context.environment->LookupHere(name)) return known;
  Var* var = context.environment->Create(name);
  for (const std::string& entry : context.envBlock->Entries()) {
    if (!EntryBelongsTo(entry, name)) continue;
    if (!ParseEntry(context, var, std::string_view(entry).substr(name.size()))) {
      RaiseError(context, MSG_6090, entry.c_str());
      return nullptr;
    }
  }
  return var;
}

}  // namespace kel
