// Scopes of named variables.

#include "engine/scope.h"

#include "base/text.h"
#include "engine/token.h"
#include "engine/value.h"

namespace kel {

VarList::~VarList() {
  while (head_ != nullptr) {
    ScopeNode* next = head_->next;
    if (!head_->borrowed) ReleaseVar(head_->var);
    delete[] head_->name;
    delete head_;
    head_ = next;
  }
}

Var* VarList::LookupHere(std::string_view name) const {
  for (ScopeNode* node = head_; node != nullptr; node = node->next) {
    if (EqualsIgnoreCase(node->name, name)) return node->var;
  }
  return nullptr;
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
  *tail_ = new ScopeNode{nullptr, CopyText(name.data(), static_cast<std::uint32_t>(name.size())), var, false};
  tail_ = &(*tail_)->next;
  return var;
}

void VarList::AddBorrowed(std::string_view name, Var* var) {
  *tail_ = new ScopeNode{nullptr, CopyText(name.data(), static_cast<std::uint32_t>(name.size())), var, true};
  tail_ = &(*tail_)->next;
}

}  // namespace kel
