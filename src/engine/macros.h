#pragma once
// The preprocessor's definition table: object-like macros, looked up without
// regard to letter case, falling back to the enclosing run's table.

#include <string>
#include <string_view>
#include <unordered_map>

#include "base/text.h"

namespace kel {

class MacroTable {
 public:
  explicit MacroTable(const MacroTable* parent) : parent_(parent) { macros_.reserve(parent == nullptr ? 128 : 8); }

  // Replaces a macro of the same [name] in any letter case, or adds one.
  void Define(std::string_view name, std::string_view replacement);
  // Defines [name] as the decimal text of [value].
  void Define(std::string_view name, long value);

  // The replacement of [name] here or in an enclosing table, or null.
  const std::string* Lookup(std::string_view name) const;

 private:
  std::unordered_map<std::string, std::string, NameHash, NameEqual> macros_;
  const MacroTable* parent_;
};

}  // namespace kel
