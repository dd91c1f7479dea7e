// Finding structure members by name. Members keep the order of their first
// use in a chain; a structure used as a dictionary grows an index by name so
// that finding a member does not walk thousands of others.

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "base/pool.h"
#include "base/text.h"
#include "engine/token.h"
#include "engine/value.h"

namespace kel {

// An open-addressing table of the members by folded name: a member found
// here costs a hash and usually one comparison.
struct MemberIndex {
  struct Slot {
    std::uint32_t hash;
    std::uint32_t length;  // of the name, so that a probe needs no strlen
    MemberNode* node;      // null: empty
    // OPTIMIZATION: node->var, which a node keeps for its life, so that the
    // member's value is reached while its name is still being compared: in
    // a dictionary of thousands of names each is a load that misses.
    Var* var;
  };
  std::vector<Slot> slots;  // a power of two, at most half full
  std::uint32_t used = 0;
  MemberNode* tail = nullptr;

  static std::uint32_t HashOf(std::string_view name) { return static_cast<std::uint32_t>(NameHash{}(name)); }

  const Slot* Find(std::string_view name, std::uint32_t hash) const {
    const std::size_t mask = slots.size() - 1;
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
      const Slot& slot = slots[at];
      if (slot.node == nullptr) return nullptr;
      if (slot.hash == hash && slot.length == name.size() && SameName(slot.node->name, name)) return &slot;
    }
  }

  // The bits of a hash a storage keeps as its member hint.
  static constexpr std::uint32_t kHintBits = 0xFFFFFF;

  // The slot of the member named [text] ([room] bytes readable from its
  // first, its NUL among them) searched from [hint], trusting nothing of it;
  // null when it is not found there.
  const Slot* FindHinted(const char* text, std::uint32_t room, std::uint32_t hint) const {
    const std::size_t mask = slots.size() - 1;
    for (std::size_t at = hint & mask;; at = (at + 1) & mask) {
      const Slot& slot = slots[at];
      if (slot.node == nullptr) return nullptr;
      // A name holds no NUL: bytes that match it up to the text's NUL are the text.
      if ((slot.hash & kHintBits) == hint && slot.length < room && text[slot.length] == '\0' &&
          SameName(slot.node->name, {text, slot.length})) {
        return &slot;
      }
    }
  }

  // The nodes' variables changed places: each slot takes its node's again.
  void LearnVars() {
    for (Slot& slot : slots) {
      if (slot.node != nullptr) slot.var = slot.node->var;
    }
  }

  void Insert(MemberNode* node, std::string_view name, std::uint32_t hash) {
    if ((used + 1) * 2 > slots.size()) Grow();
    Place(slots, Slot{hash, static_cast<std::uint32_t>(name.size()), node, node->var});
    ++used;
  }

 private:
  // A name is nearly always written the same way each time: bytes first.
  static bool SameName(const char* stored, std::string_view name) {
    return SameBytes(stored, name.data(), name.size()) || EqualsIgnoreCase({stored, name.size()}, name);
  }

  static void Place(std::vector<Slot>& table, Slot slot) {
    const std::size_t mask = table.size() - 1;
    std::size_t at = slot.hash & mask;
    while (table[at].node != nullptr) at = (at + 1) & mask;
    table[at] = slot;
  }

  void Grow() {
    std::vector<Slot> larger(slots.empty() ? 64 : slots.size() * 2, Slot{0, 0, nullptr, nullptr});
    for (const Slot& slot : slots) {
      if (slot.node != nullptr) Place(larger, slot);
    }
    slots.swap(larger);
  }
};

namespace {

std::uint32_t memberStamp = 0;
// Structures are made and dropped often (a record read from a BLOb each
// time round a loop): their lists and members come from pools.
Pool<MemberNode> nodePool;
Pool<MemberList> listPool;

// A list whose walk passed this many members gets an index: below it a walk
// over short names is cheaper than hashing.
constexpr std::uint32_t kIndexFrom = 24;

void BuildIndex(MemberList* list) {
  auto* index = new MemberIndex;
  for (MemberNode* node = list->head; node != nullptr; node = node->next) {
    const std::string_view name(node->name, node->length);
    index->Insert(node, name, MemberIndex::HashOf(name));  // no two members share a name
    index->tail = node;
  }
  list->index = index;
}

MemberNode* AppendIndexed(MemberList* list, std::string_view name, std::uint32_t hash) {
  MemberIndex* index = list->index;
  MemberNode* node = NewMemberNode(name);
  (index->tail != nullptr ? index->tail->next : list->head) = node;
  index->tail = node;
  index->Insert(node, name, hash);
  return node;
}

MemberNode* FindIndexed(MemberList* list, std::string_view name, bool create, std::uint32_t hash) {
  if (const MemberIndex::Slot* found = list->index->Find(name, hash)) return found->node;
  return create ? AppendIndexed(list, name, hash) : nullptr;
}

// FindIndexed for the member's variable, read from its slot.
Var* FindIndexedVar(MemberList* list, std::string_view name, bool create, std::uint32_t hash) {
  if (const MemberIndex::Slot* found = list->index->Find(name, hash)) return found->var;
  return create ? AppendIndexed(list, name, hash)->var : nullptr;
}

}  // namespace

MemberNode* NewMemberNode(std::string_view name) { return NewMemberNode(name, NewVar(KEL_UNKNOWN)); }

MemberNode* NewMemberNode(std::string_view name, Var* var) {
  var->flags = 1;  // the member's name
  const auto length = static_cast<std::uint32_t>(name.size());
  MemberNode* node = nodePool.Allocate();
  *node = MemberNode{nullptr, nullptr, var, length, {}};
  if (length < MemberNode::kShortName) {
    std::copy(name.begin(), name.end(), node->shortName);
    node->shortName[length] = '\0';
    node->name = node->shortName;
  } else {
    node->name = CopyText(name.data(), length);
  }
  return node;
}

MemberNode* NewMemberNodeLike(const MemberNode* model, Var* var) {
  if (model->name != model->shortName) return NewMemberNode({model->name, model->length}, var);
  var->flags = 1;  // the member's name
  MemberNode* node = nodePool.Allocate();
  *node = *model;  // (a short name is copied whole, with its NUL, in a few words)
  node->next = nullptr;
  node->name = node->shortName;
  node->var = var;
  return node;
}

void FreeMemberNode(MemberNode* node) {
  if (node->name != node->shortName) delete[] node->name;
  nodePool.Free(node);
}

MemberList* NewMemberList() {
  MemberList* list = listPool.Allocate();
  *list = MemberList{nullptr, ++memberStamp, nullptr};
  return list;
}

void FreeMemberList(MemberList* list) { listPool.Free(list); }

void DropMemberIndex(MemberList* list) {
  delete list->index;
  list->index = nullptr;
}

void RelearnMemberVars(MemberList* list) {
  if (list->index != nullptr) list->index->LearnVars();
}

void RestampMembers(MemberList* list) {
  list->stamp = ++memberStamp;
  DropMemberIndex(list);  // the chain it indexed changed
}

MemberNode* FindMemberNode(MemberList* list, std::string_view name, bool create) {
  if (list->index != nullptr) return FindIndexed(list, name, create, MemberIndex::HashOf(name));
  std::uint32_t walked = 0;
  MemberNode** link = &list->head;
  for (; *link != nullptr; link = &(*link)->next) {
    if ((*link)->length == name.size() && EqualsIgnoreCase({(*link)->name, name.size()}, name)) return *link;
    if (++walked == kIndexFrom) {
      BuildIndex(list);
      return FindIndexed(list, name, create, MemberIndex::HashOf(name));
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

Var* FindMemberText(Var* structVar, const char* text, bool create) {
  MemberList* list = MembersOf(structVar);
  if (list == nullptr) return nullptr;
  if (list->index == nullptr) return FindMember(structVar, text, create);
  // OPTIMIZATION: a name looked up in an index is measured while it is hashed.
  std::size_t length;
  const auto hash = static_cast<std::uint32_t>(NameHash::OfText(text, length));
  return FindIndexedVar(list, {text, length}, create, hash);
}

Var* FindMemberOfStorage(Var* structVar, const char* text, VarData* storage, std::uint32_t room, bool create) {
  MemberList* list = MembersOf(structVar);
  if (list == nullptr || list->index == nullptr) return FindMemberText(structVar, text, create);
  const MemberIndex& index = *list->index;
  if (const MemberIndex::Slot* found = index.FindHinted(text, room, storage->memberHint)) return found->var;
  std::size_t length;
  const auto hash = static_cast<std::uint32_t>(NameHash::OfText(text, length));
  storage->memberHint = hash & MemberIndex::kHintBits;
  return FindIndexedVar(list, {text, length}, create, hash);
}

}  // namespace kel
