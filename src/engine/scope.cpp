// Scopes of named variables.

#include "engine/scope.h"

#include "base/text.h"
#include "engine/token.h"
#include "engine/value.h"

namespace kel {

VarList::~VarList() {
  ++changes_;
  index_.clear();
  while (head_ != nullptr) {
    ScopeNode* next = head_->next;
    if (!head_->borrowed) ReleaseVar(head_->var);
    delete[] head_->name;
    delete head_;
    head_ = next;
  }
}

Var* VarList::LookupHere(std::string_view name) const {
  if (count_ >= kIndexFrom) {
    auto found = index_.find(name);
    return found != index_.end() ? found->second->var : nullptr;
  }
  for (ScopeNode* node = head_; node != nullptr; node = node->next) {
    if (EqualsIgnoreCase(node->name, name)) return node->var;
  }
  return nullptr;
}

void VarList::Append(ScopeNode* node) {
  ++changes_;
  *tail_ = node;
  tail_ = &node->next;
  if (++count_ < kIndexFrom) return;
  if (count_ == kIndexFrom) {
    for (ScopeNode* at = head_; at != nullptr; at = at->next) index_.emplace(at->name, at);
  } else {
    index_.emplace(node->name, node);
  }
}

Var* VarList::Lookup(std::string_view name) const {
  for (const VarList* list = this; list != nullptr; list = list->parent_) {
    if (Var* var = list->LookupHere(name)) return var;
  }
  return nullptr;
}

Var* VarList::Create(std::string_view name) {
  Var* var = NewVar(KEL_UNKNOWN);
  var->flags = 1;
  Append(new ScopeNode{nullptr, CopyText(name.data(), static_cast<std::uint32_t>(name.size())), var, false});
  return var;
}

void VarList::AddBorrowed(std::string_view name, Var* var) {
  Append(new ScopeNode{nullptr, CopyText(name.data(), static_cast<std::uint32_t>(name.size())), var, true});
}

}  // namespace kel
