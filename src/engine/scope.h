#pragma once
// Scopes: lists of named variables (globals, environment variables, borrowed
// locals), searched by name without regard to letter case, each falling back
// to its parent.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unordered_map>

#include "base/text.h"

namespace kel {

struct Var;

struct ScopeNode {
  ScopeNode* next;
  char* name;     // owned
  Var* var;
  bool borrowed;  // the node does not own its Var
};

class VarList {
 public:
  explicit VarList(VarList* parent) : parent_(parent) {}
  ~VarList();
  VarList(const VarList&) = delete;
  VarList& operator=(const VarList&) = delete;

  // The variable [name] in this list or a parent's, or null.
  Var* Lookup(std::string_view name) const;
  // The variable [name] in this list only, or null.
  Var* LookupHere(std::string_view name) const;
  // Appends a new undefined variable [name] (one name bound) and returns it.
  Var* Create(std::string_view name);
  // Appends [var] under [name] without taking ownership.
  void AddBorrowed(std::string_view name, Var* var);

  ScopeNode* First() const { return head_; }
  // Counts every name added to (and every list taken away of) any list: a
  // variable found once is still the one a lookup would find while it stays.
  static std::uint32_t Changes() { return changes_; }
  VarList* Parent() const { return parent_; }
  void SetParent(VarList* parent) { parent_ = parent; }

 private:
  void Append(ScopeNode* node);

  ScopeNode* head_ = nullptr;
  ScopeNode** tail_ = &head_;
  VarList* parent_;
  // OPTIMIZATION: past a few names, an index by name (the first node of a
  // name wins, as in the list), so that a program with thousands of globals
  // finds each at once.
  static constexpr std::size_t kIndexFrom = 8;
  std::size_t count_ = 0;
  std::unordered_map<std::string_view, ScopeNode*, NameHash, NameEqual> index_;
  static inline std::uint32_t changes_ = 0;
};

// OPTIMIZATION: a global the library consults on every value it handles (a
// mode variable), looked up again only after names changed.
struct CachedLookup {
  const VarList* list = nullptr;
  std::uint32_t changes = 0;
  Var* var = nullptr;

  Var* Find(const VarList* in, std::string_view name) {
    if (in != list || changes != VarList::Changes()) {
      list = in;
      changes = VarList::Changes();
      var = in->Lookup(name);
    }
    return var;
  }
};

}  // namespace kel
