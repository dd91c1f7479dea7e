// The preprocessor's definition table.

#include "engine/macros.h"

#include <cstdio>
#include <tuple>

namespace kel {

void MacroTable::Define(std::string_view name, std::string_view replacement) {
  auto found = macros_.find(name);
  if (found != macros_.end()) macros_.erase(found);  // the newest spelling wins
  macros_.emplace(std::piecewise_construct, std::forward_as_tuple(name), std::forward_as_tuple(replacement));
}

void MacroTable::Define(std::string_view name, long value) {
  char text[24];
  std::snprintf(text, sizeof text, "%ld", value);
  Define(name, std::string_view(text));
}

const std::string* MacroTable::Lookup(std::string_view name) const {
  for (const MacroTable* table = this; table != nullptr; table = table->parent_) {
    auto found = table->macros_.find(name);
    if (found != table->macros_.end()) return &found->second;
  }
  return nullptr;
}

}  // namespace kel
