// Assignment, structures, truth values and undefining: the rules by which
// structures are deep-copied, arrays shared and scalars copied.

#include <cstring>
#include <utility>

#include "base/text.h"
#include "engine/messages.h"
#include "engine/token.h"
#include "engine/value.h"

namespace kel {

// ===================================================================
// Structures
// ===================================================================

MemberList* ElementMembers(const Var* var) {
  VarData* data = var->data;
  if (data->dimension != 1) return nullptr;
  // An element's member list is made when it is first asked for, so that a
  // large array of structures costs only the elements used.
  auto* cell = static_cast<MemberList**>(ElementPointer(data, var->index));
  if (*cell == nullptr) *cell = NewMemberList();
  return *cell;
}

namespace {

// True when [target] (or its member list [targetList]) occurs anywhere in the
// member tree [list].
bool OccursIn(const Var* target, const MemberList* targetList, const MemberList* list, int depth) {
  if (list == nullptr || depth > 10000) return false;
  for (const MemberNode* node = list->head; node != nullptr; node = node->next) {
    if (node->var == target) return true;
    if (IsStructure(node->var)) {
      const MemberList* inner = MembersOf(node->var);
      if (inner == targetList || OccursIn(target, targetList, inner, depth + 1)) return true;
    }
  }
  return false;
}

// Copies the defined members of [source] in order into a new chain; arrays
// stay shared and structures are copied in turn.
bool CopyMembers(Context& context, const MemberList* source, MemberNode*& head) {
  MemberNode** tail = &head;
  for (const MemberNode* node = source->head; node != nullptr; node = node->next) {
    if (!IsDefined(node->var)) continue;
    MemberNode* copy = NewMemberNode(node->name);
    *tail = copy;
    tail = &copy->next;
    if (!Assign(context, copy->var, node->var)) return false;
  }
  return true;
}

bool AssignStructure(Context& context, Var* target, Var* source) {
  MemberList* targetList = MembersOf(target);
  MemberList* sourceList = MembersOf(source);
  if (targetList == sourceList) return true;  // s = s changes nothing
  if (OccursIn(target, targetList, sourceList, 0)) {
    return RaiseError(context, MSG_1510);
  }
  // The copy is made before the old members go, so that a source inside the
  // target (s = s.inner) is still there to be copied.
  MemberNode* copied = nullptr;
  bool ok = CopyMembers(context, sourceList, copied);
  FreeMemberNodes(targetList->head);
  targetList->head = copied;
  RestampMembers(targetList);
  return ok;
}

// True when [source] is a structure that nothing but its one holder can
// reach, its members included: moving them is invisible.
bool MembersMayMove(const Var* source) {
  if (!IsStructure(source) || IsElementRef(source) || source->flags != 0 || source->holds != 0 ||
      source->literal != 0 || source->data->refCount != 1) {
    return false;
  }
  for (const MemberNode* node = source->data->payload.members->head; node != nullptr; node = node->next) {
    const Var* member = node->var;
    if (member->holds != 0 || member->literal != 0 || IsElementRef(member) || member->flags != 1) return false;
  }
  return true;
}

// True when [target] has exactly the members of [source], all defined,
// named alike to the byte, in the same order.
bool SameMembers(const MemberList* target, const MemberList* source) {
  const MemberNode* a = target->head;
  const MemberNode* b = source->head;
  for (; a != nullptr && b != nullptr; a = a->next, b = b->next) {
    if (a->length != b->length || !SameBytes(a->name, b->name, a->length) || !IsDefined(b->var)) return false;
  }
  return a == nullptr && b == nullptr;
}

}  // namespace

bool AssignTemporary(Context& context, Var* target, Var* source) {
  if (!IsStructure(target) || !MembersMayMove(source)) return Assign(context, target, source);
  MemberList* targetList = MembersOf(target);
  MemberList* sourceList = source->data->payload.members;
  if (SameMembers(targetList, sourceList)) {
    // A record read again into the same structure: the members' values
    // change places, the target's member list and every cache of it stay.
    for (MemberNode *a = targetList->head, *b = sourceList->head; a != nullptr; a = a->next, b = b->next) {
      std::swap(a->var, b->var);
    }
    RelearnMemberVars(targetList);
    RestampMembers(sourceList);
    return true;
  }
  // The defined members move in order, as a copy would take them; the
  // undefined ones stay behind with the temporary.
  MemberNode* moved = nullptr;
  MemberNode** tail = &moved;
  for (MemberNode** link = &sourceList->head; *link != nullptr;) {
    MemberNode* node = *link;
    if (!IsDefined(node->var)) {
      link = &node->next;
      continue;
    }
    *link = node->next;
    node->next = nullptr;
    *tail = node;
    tail = &node->next;
  }
  FreeMemberNodes(targetList->head);
  targetList->head = moved;
  RestampMembers(targetList);
  RestampMembers(sourceList);
  return true;
}

// ===================================================================
// Assignment
// ===================================================================

namespace {

// Element [index] of the array tree [parent] now shows [source]'s array.
void ReplaceRow(VarData* parent, std::int32_t index, const ArrayRef& source) {
  auto* slot = static_cast<RowSlot*>(ElementPointer(parent, index));
  if (slot->row == source.data && slot->origin == source.origin) return;
  ++source.data->refCount;
  LinkRow(source.data, parent, index);
  VarData* old = slot->row;
  slot->row = source.data;
  slot->origin = source.origin;
  if (old == nullptr) return;  // a row never made: nothing to let go
  UnlinkRow(old, parent, index);
  ReleaseData(old);
}

// The assignment once [target] has [source]'s kind.
bool AssignSameKind(Context& context, Var* target, Var* source);

}  // namespace

bool Assign(Context& context, Var* target, Var* source) {
  // Assigning 0 to a row of a typed array empties the row.
  if (IsElementRef(target) && target->data->dimension > 1 && target->data->type != KEL_UNKNOWN &&
      IsZeroNumber(source)) {
    auto* slot = static_cast<RowSlot*>(ElementPointer(target->data, target->index));
    ReleaseElements(RowOf(target->data, target->index, *slot));
    return true;
  }
  if (!(IsNumericScalar(target) && IsNumericScalar(source))) {
    // OPTIMIZATION: nothing to change in the target's kind and shape (the
    // source is defined, so the kinds' being equal says the target is too:
    // w = strtok(0, " "), line = fgets(f)); or an undefined variable with
    // storage of its own given an array, which it shares at once rather
    // than being made an empty array of the kind first (a text member of a
    // record read from a BLOb).
    const VarData* held = target->data;
    const int arrayness = Arrayness(source);
    if ((held->type == source->data->type && Arrayness(target) == arrayness) ||
        (held->type == KEL_UNKNOWN && held->dimension == 0 && held->refCount == 1 && held->containers == nullptr &&
         held->rows == nullptr && !IsElementRef(target) && arrayness >= 1)) {
      return AssignSameKind(context, target, source);
    }
    if (KindChangeReplaces(target, source->data->type, arrayness)) {
      // The source may be part of what the target held (t = t.m): its
      // storage is kept while the target's is replaced.
      Var* kept = NewVarOn(source->data, source->index, source->flags & VAR_ELEMENT);
      const bool done = SetTypeAndDims(context, target, source->data->type, arrayness) &&
                        AssignSameKind(context, target, kept);
      ReleaseVar(kept);
      return done;
    }
    if (!SetTypeAndDims(context, target, source->data->type, arrayness)) return false;
  }
  return AssignSameKind(context, target, source);
}

namespace {

bool AssignSameKind(Context& context, Var* target, Var* source) {
  if (IsNumericScalar(target)) {
    SetScalar(target, GetScalar(source));
    return true;
  }
  if (IsStructure(target)) return AssignStructure(context, target, source);
  ArrayRef array = ResolveArray(source);
  if (IsElementRef(target)) {
    if (array.data->isString) MarkString(target->data);
    ReplaceRow(target->data, target->index, array);
    return true;
  }
  ++array.data->refCount;
  ReleaseData(target->data);
  target->data = array.data;
  target->index = array.origin;
  return true;
}

}  // namespace

bool AssignStringLiteral(Context& context, Var* target, const Var* literal) {
  if (!SetTypeAndDims(context, target, KEL_BYTE, 1)) return false;
  ArrayRef array = ResolveArray(target);
  const VarData* text = literal->data;
  if (text->isString) MarkString(array.data);  // 'AB' is bytes, not text
  std::uint32_t count = text->elemCount;
  if (count > 0) {
    // Growing first: the copy must not shrink the target, and the storage may move.
    EnsureSpan(array.data, array.origin, count, false);
    ForgetTextEnd(array.data);
    std::memcpy(ElementPointer(array.data, array.origin), text->payload.elements, count);
  }
  KeepTerminated(array.data);
  return true;
}

// ===================================================================
// Truth and undefining
// ===================================================================

int TruthValue(Context& context, const Var* var) {
  if (Arrayness(var) > 0) {
    ArrayRef array = ResolveArray(const_cast<Var*>(var));
    return array.data->payload.elements != nullptr ? 1 : 0;
  }
  switch (var->data->type) {
    case KEL_UNKNOWN:
      RaiseUndefined(context, var);
      return -1;
    case KEL_STRUCT:
      RaiseError(context, MSG_1606);
      return -1;
    case KEL_FLOAT:
      return GetFloat(var) != 0.0 ? 1 : 0;
    default:
      return GetInt(var) != 0 ? 1 : 0;
  }
}

void UndefineVar(Var* var) {
  if (IsStructure(var)) {
    MemberList* list = MembersOf(var);
    FreeMemberNodes(list->head);
    list->head = nullptr;
    RestampMembers(list);
  }
  if (IsElementRef(var)) return;
  ReleaseData(var->data);
  var->data = NewData(KEL_UNKNOWN, 0);
  var->index = 0;
}

}  // namespace kel
