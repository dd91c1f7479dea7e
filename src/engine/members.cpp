// Finding structure members by name. Members keep the order of their first
// use in a chain; a structure used as a dictionary grows an index by name so
// that finding a member does not walk thousands of others.

#include <string_view>
#include <unordered_map>

#include "base/text.h"
#include "engine/token.h"
#include "engine/value.h"

namespace kel {

struct MemberIndex {
  // Keys are the nodes' own names, which live as long as the nodes.
  std::unordered_map<std::string_view, MemberNode*, NameHash, NameEqual> byName;
  MemberNode* tail = nullptr;
};

namespace {

std::uint32_t memberStamp = 0;

// A list whose walk passed this many members gets an index: below it a walk
// over short names is cheaper than hashing.
constexpr std::uint32_t kIndexFrom = 24;

void BuildIndex(MemberList* list) {
  auto* index = new MemberIndex;
  for (MemberNode* node = list->head; node != nullptr; node = node->next) {
    index->byName.try_emplace(node->name, node);  // the first of equal names is the one found
    index->tail = node;
  }
  list->index = index;
}

MemberNode* FindIndexed(MemberList* list, std::string_view name, bool create) {
  MemberIndex* index = list->index;
  auto found = index->byName.find(name);
  if (found != index->byName.end()) return found->second;
  if (!create) return nullptr;
  MemberNode* node = NewMemberNode(name);
  (index->tail != nullptr ? index->tail->next : list->head) = node;
  index->tail = node;
  index->byName.emplace(node->name, node);
  return node;
}

}  // namespace

MemberNode* NewMemberNode(std::string_view name) {
  Var* var = NewVar(KEL_UNKNOWN);
  var->flags = 1;  // the member's name
  return new MemberNode{nullptr, CopyText(name.data(), static_cast<std::uint32_t>(name.size())), var};
}

MemberList* NewMemberList() { return new MemberList{nullptr, ++memberStamp, nullptr}; }

void DropMemberIndex(MemberList* list) {
  delete list->index;
  list->index = nullptr;
}

void RestampMembers(MemberList* list) {
  list->stamp = ++memberStamp;
  DropMemberIndex(list);  // the chain it indexed changed
}

MemberNode* FindMemberNode(MemberList* list, std::string_view name, bool create) {
  if (list->index != nullptr) return FindIndexed(list, name, create);
  std::uint32_t walked = 0;
  MemberNode** link = &list->head;
  for (; *link != nullptr; link = &(*link)->next) {
    if (EqualsIgnoreCase((*link)->name, name)) return *link;
    if (++walked == kIndexFrom) {
      BuildIndex(list);
      return FindIndexed(list, name, create);
    }
  }
  if (!create) return nullptr;
  *link = NewMemberNode(name);
  return *link;
}

Var* FindMember(Var* structVar, std::string_view name, bool create) {
  MemberList* list = MembersOf(structVar);
  if (list == nullptr) return nullptr;
  MemberNode* node = FindMemberNode(list, name, create);
  return node != nullptr ? node->var : nullptr;
}

}  // namespace kel
