// Values: creating and releasing storage, scalar access and conversion, and
// arrays that grow in both directions, gain dimensions and take a type as a
// whole tree.

#include "engine/value.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

#include "base/memory.h"
#include "base/pool.h"
#include "engine/messages.h"
#include "platform/address_space.h"

namespace kel {

namespace {

Pool<VarData, PoolStorage::Addressable> dataPool;
Pool<Var> varPool;
// Every row of a string array has one: a dictionary's thousand names cost a
// thousand links, which a pool keeps without a heap block's header each.
Pool<ContainerLink> linkPool;

}  // namespace

std::uint32_t StorageWriteEpoch = 1;

namespace {

// From this size on, elements are cleared by the page.
constexpr std::size_t kClearByPages = std::size_t{4} << 20;

}  // namespace

void FreeMemberNodes(MemberNode* node) {
  while (node != nullptr) {
    MemberNode* next = node->next;
    if (node->var->holds != 0) {
      node->var->holds |= VAR_ORPHANED;  // the last hold releases it
    } else {
      ReleaseVar(node->var);
    }
    FreeMemberNode(node);
    node = next;
  }
}

namespace {

// Tree walks mark the storages they visited with a fresh number, so that rows
// shared by several arrays are handled once.
std::uint32_t markEpoch = 0;

void ReleaseMembers(MemberList* list) {
  if (list == nullptr) return;
  FreeMemberNodes(list->head);
  DropMemberIndex(list);
  FreeMemberList(list);
}

// Takes [link] out of its parent's rows.
void UnchainRow(ContainerLink* link) {
  if (link->prevRow != nullptr) {
    link->prevRow->nextRow = link->nextRow;
  } else {
    link->parent->rows = link->nextRow;
  }
  if (link->nextRow != nullptr) link->nextRow->prevRow = link->prevRow;
}

// Fills [count] fresh elements of [data] from [first] on with zero bytes. A
// structure element gets its member list, and an element of an array of two
// or more dimensions its row, when first asked for (MembersOf, RowOf), so
// that a large array costs only the elements used.
void InitElements(VarData* data, std::int32_t first, std::uint32_t count) {
  ForgetTextEnd(data);
  std::uint32_t stride = Stride(data);
  std::uint8_t* at = ByteElements(data) + IndexOffset(first, data->minIndex) * stride;
  const std::size_t bytes = static_cast<std::size_t>(count) * stride;
  // OPTIMIZATION: a large stretch is cleared by the page, so that an array
  // or blob given a high index costs only the pages it really uses.
  if (bytes >= kClearByPages) {
    platform::ClearMemory(at, bytes);
  } else {
    std::memset(at, 0, bytes);
  }
}

// Releases the rows made among [count] elements of [data] from [first] on:
// a short stretch by its slots, a long one by the list of rows made, which
// may be far shorter than the span.
void DropRows(VarData* data, std::int32_t first, std::uint32_t count) {
  constexpr std::uint32_t kScanSlotsBelow = 256;
  std::vector<std::pair<VarData*, std::int32_t>> gone;
  if (count < kScanSlotsBelow) {
    auto* slots = reinterpret_cast<RowSlot*>(ByteElements(data) + IndexOffset(first, data->minIndex) * sizeof(RowSlot));
    for (std::uint32_t i = 0; i < count; ++i) {
      if (slots[i].row != nullptr) gone.emplace_back(slots[i].row, first + static_cast<std::int32_t>(i));
    }
  } else {
    for (ContainerLink* link = data->rows; link != nullptr; link = link->nextRow) {
      if (IndexOffset(link->index, first) < count) gone.emplace_back(link->row, link->index);
    }
  }
  for (auto [row, index] : gone) {
    UnlinkRow(row, data, index);
    ReleaseData(row);
  }
}

// Releases what [count] elements of [data] from [first] on hold.
void DropElements(VarData* data, std::int32_t first, std::uint32_t count) {
  std::uint32_t stride = Stride(data);
  std::uint8_t* at = ByteElements(data) + IndexOffset(first, data->minIndex) * stride;
  if (data->dimension > 1) {
    DropRows(data, first, count);
  } else if (data->type == KEL_STRUCT) {
    auto* cells = reinterpret_cast<MemberList**>(at);
    for (std::uint32_t i = 0; i < count; ++i) {
      if (cells[i] != nullptr) ReleaseMembers(cells[i]);  // most of a large array was never used
    }
  }
}

// Storage for [count] elements of [stride] bytes; more than a 32-bit process
// can hold is the out-of-memory condition.
void* AllocateElements(void* old, std::uint64_t count, std::uint32_t stride) {
  std::uint64_t bytes = count * stride;
  if (bytes > kMaxArrayBytes) FatalError(MSG_0003);
  return ReallocateAddressable(old, static_cast<std::size_t>(bytes));
}

// The storages of the whole tree [data] belongs to: up through its containers
// to the roots, then down through every row.
void CollectTree(VarData* data, std::vector<VarData*>& tree) {
  ++markEpoch;
  std::vector<VarData*> pending{data};
  while (!pending.empty()) {
    VarData* at = pending.back();
    pending.pop_back();
    if (at->mark == markEpoch) continue;
    at->mark = markEpoch;
    tree.push_back(at);
    for (ContainerLink* link = at->containers; link != nullptr; link = link->next) pending.push_back(link->parent);
    for (ContainerLink* link = at->rows; link != nullptr; link = link->nextRow) pending.push_back(link->row);
  }
}

// Calls [visit] for every storage of the tree [data] belongs to; a storage
// alone (a scalar, a plain array) needs no walk.
template <class Visit>
void ForEachInTree(VarData* data, Visit visit) {
  if (data->containers == nullptr && data->rows == nullptr) {
    visit(data);
    return;
  }
  std::vector<VarData*> tree;
  CollectTree(data, tree);
  for (VarData* at : tree) visit(at);
}

}  // namespace

// ===================================================================
// Creating and releasing
// ===================================================================

VarData* NewData(int kind, int dimensions) {
  VarData* data = dataPool.Allocate();
  *data = VarData{};
  data->refCount = 1;
  data->type = static_cast<std::int8_t>(kind);
  data->elemSize = ElementSize(kind);
  data->dimension = static_cast<std::uint8_t>(dimensions);
  if (dimensions == 0) {
    if (kind == KEL_STRUCT) data->payload.members = NewMemberList();
  } else {
    EnsureSpan(data, 0, 1, false);
  }
  return data;
}

VarData* RowOf(VarData* data, std::int32_t index, RowSlot& slot) {
  if (slot.row == nullptr) {
    VarData* row = NewData(data->type, data->dimension - 1);
    row->isString = data->isString;
    if (row->isString && row->dimension == 1) KeepTerminated(row);
    LinkRow(row, data, index);
    slot = RowSlot{row, 0};
  }
  return slot.row;
}

namespace {

// Marks [data] and everything above it as holding rows of mixed text marks.
void NoteMixedText(VarData* data) {
  if (data->mixedText != 0) return;  // and so is everything above it
  data->mixedText = 1;
  for (ContainerLink* link = data->containers; link != nullptr; link = link->next) NoteMixedText(link->parent);
}

}  // namespace

bool TreeHasMixedText(const VarData* data) {
  if (data->mixedText != 0) return true;
  for (const ContainerLink* link = data->containers; link != nullptr; link = link->next) {
    if (TreeHasMixedText(link->parent)) return true;
  }
  return false;
}

void LinkRow(VarData* row, VarData* parent, std::int32_t index) {
  ContainerLink* link = linkPool.Allocate();
  *link = ContainerLink{row->containers, parent, index, row, parent->rows, nullptr};
  if (parent->rows != nullptr) parent->rows->prevRow = link;
  parent->rows = link;
  row->containers = link;
  if (row->isString != parent->isString || row->mixedText != 0) NoteMixedText(parent);
}

void UnlinkRow(VarData* row, VarData* parent, std::int32_t index) {
  for (ContainerLink** link = &row->containers; *link != nullptr; link = &(*link)->next) {
    if ((*link)->parent == parent && (*link)->index == index) {
      ContainerLink* gone = *link;
      *link = gone->next;
      UnchainRow(gone);
      linkPool.Free(gone);
      return;
    }
  }
}

Var* NewVarOn(VarData* data, std::int32_t index, std::uint16_t flags) {
  ++data->refCount;
  Var* var = varPool.Allocate();
  *var = Var{data, index, flags, 0, 0};
  return var;
}

Var* NewVar(int kind, int dimensions) {
  VarData* data = NewData(kind, dimensions);
  Var* var = NewVarOn(data, 0, 0);
  --data->refCount;
  return var;
}

namespace {

// A fresh variable of a kind that is no structure, without dimensions: the
// commonest temporary, made in one step.
Var* NewPlainVar(int kind) {
  VarData* data = dataPool.Allocate();
  *data = VarData{};
  data->refCount = 1;
  data->type = static_cast<std::int8_t>(kind);
  data->elemSize = ElementSize(kind);
  Var* var = varPool.Allocate();
  *var = Var{data, 0, 0, 0, 0};
  return var;
}

}  // namespace

SpareInts spareInts;

Var* NewIntVarSlowly(std::int32_t value) {
  Var* var = NewPlainVar(KEL_INT);
  var->data->payload.intValue = value;
  return var;
}

Var* NewFloatVar(double value) {
  Var* var = NewPlainVar(KEL_FLOAT);
  var->data->payload.floatValue = value;
  return var;
}

Var* NewByteVar(std::uint8_t value) {
  Var* var = NewPlainVar(KEL_BYTE);
  var->data->payload.byteValue = value;
  return var;
}

Var* NewScalarVar(const Scalar& value) {
  Var* var = value.type == KEL_STRUCT ? NewVar(value.type) : NewPlainVar(value.type);
  if (value.type == KEL_BYTE) var->data->payload.byteValue = value.byteValue;
  if (value.type == KEL_INT) var->data->payload.intValue = value.intValue;
  if (value.type == KEL_FLOAT) var->data->payload.floatValue = value.floatValue;
  return var;
}

Var* NewByteArrayVar(const char* bytes, std::uint32_t count, bool isString) {
  VarData* data = dataPool.Allocate();
  *data = VarData{};
  data->refCount = 1;
  data->type = KEL_BYTE;
  data->elemSize = 1;
  data->dimension = 1;
  std::uint32_t total = count + (isString ? 1 : 0);
  data->payload.elements = AllocateAddressable(total);
  if (count > 0) std::memcpy(data->payload.elements, bytes, count);
  if (isString) ByteElements(data)[count] = 0;
  data->elemCount = total;
  data->capacity = total;
  data->isString = isString ? 1 : 0;
  Var* var = varPool.Allocate();
  *var = Var{data, 0, 0, 0, 0};
  return var;
}

void ReleaseElements(VarData* data) {
  if (data->payload.elements == nullptr) return;
  ForgetTextEnd(data);
  DropElements(data, data->minIndex, data->elemCount);
  FreeAddressable(data->payload.elements);
  data->payload.elements = nullptr;
  data->elemCount = 0;
  data->capacity = 0;
  data->minIndex = 0;
}

void ReleaseData(VarData* data) {
  if (--data->refCount > 0) return;
  if (data->dimension == 0) {
    if (data->type == KEL_STRUCT) ReleaseMembers(data->payload.members);
  } else {
    ReleaseElements(data);
  }
  while (data->containers != nullptr) {
    ContainerLink* next = data->containers->next;
    UnchainRow(data->containers);
    linkPool.Free(data->containers);
    data->containers = next;
  }
  dataPool.Free(data);
}

void DropVarHold(Var* var) {
  if (--var->holds == VAR_ORPHANED) {
    var->holds = 0;
    ReleaseVar(var);
  }
}

void ReleaseVar(Var* var) {
  if (var == nullptr) return;
  ReleaseData(var->data);
  varPool.Free(var);
}

// ===================================================================
// Scalars
// ===================================================================

namespace {

Scalar ReadElement(const VarData* data, const void* at) {
  switch (data->type) {
    case KEL_BYTE: return MakeByte(*static_cast<const std::uint8_t*>(at));
    case KEL_INT: {
      std::int32_t value;
      std::memcpy(&value, at, 4);
      return MakeInt(value);
    }
    case KEL_FLOAT: {
      double value;
      std::memcpy(&value, at, 8);
      return MakeFloat(value);
    }
    default: {
      Scalar none = MakeInt(0);
      none.type = data->type;
      return none;
    }
  }
}

void WriteElement(const VarData* data, void* at, const Scalar& value) {
  switch (data->type) {
    case KEL_BYTE: *static_cast<std::uint8_t*>(at) = static_cast<std::uint8_t>(ScalarToInt(value)); break;
    case KEL_INT: {
      std::int32_t converted = ScalarToInt(value);
      std::memcpy(at, &converted, 4);
      break;
    }
    case KEL_FLOAT: {
      double converted = ScalarToFloat(value);
      std::memcpy(at, &converted, 8);
      break;
    }
    default: break;
  }
}

}  // namespace

Scalar GetScalar(const Var* var) {
  VarData* data = var->data;
  if (IsElementRef(var)) {
    if (data->dimension != 1) return ReadElement(data, &data->payload);  // a row: no scalar
    return ReadElement(data, ElementPointer(data, var->index));
  }
  if (data->dimension != 0) {
    Scalar none = MakeInt(0);
    none.type = KEL_UNKNOWN;
    return none;
  }
  return ReadElement(data, &data->payload);
}

std::int32_t GetIntSlowly(const Var* var) { return ScalarToInt(GetScalar(var)); }
double GetFloat(const Var* var) { return ScalarToFloat(GetScalar(var)); }
std::uint8_t GetByte(const Var* var) { return static_cast<std::uint8_t>(ScalarToInt(GetScalar(var))); }

void SetScalar(Var* var, const Scalar& value) {
  VarData* data = var->data;
  if (IsElementRef(var)) {
    if (data->dimension != 1) return;
    ForgetTextEnd(data);
    WriteElement(data, ElementPointer(data, var->index), value);
    if (data->isString) KeepTerminated(data);
    return;
  }
  if (data->dimension == 0) WriteElement(data, &data->payload, value);
}

void SetInt(Var* var, std::int32_t value) { SetScalar(var, MakeInt(value)); }
void SetFloat(Var* var, double value) { SetScalar(var, MakeFloat(value)); }

// ===================================================================
// Arrays
// ===================================================================

void EnsureSpanSlowly(VarData* data, std::int32_t first, std::uint32_t count, bool trim) {
  if (count == 0) return;
  const std::uint32_t stride = Stride(data);
  const std::int64_t wantFirst = first;
  const std::int64_t wantLast = wantFirst + count - 1;
  if (data->payload.elements == nullptr) {
    std::uint64_t size = static_cast<std::uint64_t>(wantLast - wantFirst + 1);
    data->payload.elements = AllocateElements(nullptr, size, stride);
    data->minIndex = first;
    data->elemCount = static_cast<std::uint32_t>(size);
    data->capacity = data->elemCount;
    InitElements(data, first, data->elemCount);
    return;
  }
  const std::int64_t haveFirst = data->minIndex;
  const std::int64_t haveLast = haveFirst + data->elemCount - 1;
  const std::int64_t newFirst = trim ? wantFirst : std::min(wantFirst, haveFirst);
  const std::int64_t newLast = trim ? wantLast : std::max(wantLast, haveLast);
  if (newFirst == haveFirst && newLast == haveLast) return;
  if (static_cast<std::uint64_t>(newLast - newFirst + 1) > kMaxArrayBytes) FatalError(MSG_0003);
  ForgetTextEnd(data);

  // Drop what a trim cuts off.
  if (newFirst > haveFirst) {
    std::int64_t cut = std::min(newFirst, haveLast + 1) - haveFirst;
    DropElements(data, data->minIndex, static_cast<std::uint32_t>(cut));
  }
  if (newLast < haveLast) {
    std::int64_t from = std::max(newLast + 1, haveFirst);
    DropElements(data, static_cast<std::int32_t>(from), static_cast<std::uint32_t>(haveLast - from + 1));
  }
  const std::int64_t keepFirst = std::max(newFirst, haveFirst);
  const std::int64_t keepLast = std::min(newLast, haveLast);
  const std::uint64_t newCount = static_cast<std::uint64_t>(newLast - newFirst + 1);

  if (newFirst == haveFirst && !trim) {
    // Growing at the end only: room is kept in reserve, so text built piece by
    // piece is not copied at every step.
    if (newCount > data->capacity) {
      std::uint64_t room = std::max<std::uint64_t>(newCount, data->capacity + data->capacity / 2);
      if (room * stride > kMaxArrayBytes) room = newCount;
      data->payload.elements = AllocateElements(data->payload.elements, room, stride);
      data->capacity = static_cast<std::uint32_t>(room);
    }
    std::int32_t oldEnd = static_cast<std::int32_t>(haveLast + 1);
    data->elemCount = static_cast<std::uint32_t>(newCount);
    InitElements(data, oldEnd, static_cast<std::uint32_t>(newLast - haveLast));
    return;
  }

  void* fresh = AllocateElements(nullptr, newCount, stride);
  if (keepFirst <= keepLast) {
    std::memcpy(static_cast<std::uint8_t*>(fresh) + (keepFirst - newFirst) * stride,
                ByteElements(data) + (keepFirst - haveFirst) * stride,
                static_cast<std::size_t>(keepLast - keepFirst + 1) * stride);
  }
  FreeAddressable(data->payload.elements);
  data->payload.elements = fresh;
  data->minIndex = static_cast<std::int32_t>(newFirst);
  data->elemCount = static_cast<std::uint32_t>(newCount);
  data->capacity = data->elemCount;
  if (keepFirst > keepLast) {
    InitElements(data, data->minIndex, data->elemCount);
    return;
  }
  if (newFirst < keepFirst) InitElements(data, data->minIndex, static_cast<std::uint32_t>(keepFirst - newFirst));
  if (newLast > keepLast) {
    InitElements(data, static_cast<std::int32_t>(keepLast + 1), static_cast<std::uint32_t>(newLast - keepLast));
  }
}

void* ElementPointerSlowly(VarData* data, std::int32_t index) {
  if (data->payload.elements == nullptr || index < data->minIndex ||
      IndexOffset(index, data->minIndex) >= data->elemCount) {
    EnsureSpan(data, index, 1, false);
  }
  return ByteElements(data) + IndexOffset(index, data->minIndex) * Stride(data);
}

ArrayRef ResolveArraySlowly(Var* var) {
  VarData* data = var->data;
  if (IsElementRef(var) && data->dimension > 1) {
    // OPTIMIZATION: a row made already, with its start inside it (a string
    // of an array of strings, the usual case), needs nothing grown.
    const RowSlot* made = MadeRow(data, var->index);
    if (made != nullptr && HasElement(made->row, made->origin)) return ArrayRef{made->row, made->origin};
    auto* slot = static_cast<RowSlot*>(ElementPointer(data, var->index));
    VarData* row = RowOf(data, var->index, *slot);
    if (row->payload.elements != nullptr) ElementPointer(row, slot->origin);
    return ArrayRef{row, slot->origin};
  }
  if (data->dimension >= 1 && data->payload.elements != nullptr) ElementPointer(data, var->index);
  return ArrayRef{data, var->index};
}

Var* ElementRef(Var* var, std::int32_t offset) {
  if (Arrayness(var) == 0) AddDimension(var->data);
  ArrayRef array = ResolveArray(var);
  std::int32_t index = static_cast<std::int32_t>(static_cast<std::uint32_t>(array.origin) +
                                                 static_cast<std::uint32_t>(offset));
  ElementPointer(array.data, index);
  return NewVarOn(array.data, index, VAR_ELEMENT);
}

void GetSpan(Var* var, std::int32_t& lowest, std::int32_t& highest) {
  ArrayRef array = ResolveArray(var);
  lowest = array.data->minIndex - array.origin;
  highest = static_cast<std::int32_t>(array.data->minIndex + static_cast<std::int64_t>(array.data->elemCount) - 1 -
                                      array.origin);
}

void SetSpan(Var* var, std::int32_t lowest, std::int32_t highest) {
  ArrayRef array = ResolveArray(var);
  std::int64_t first = static_cast<std::int64_t>(array.origin) + lowest;
  std::int64_t count = static_cast<std::int64_t>(highest) - lowest + 1;
  if (count <= 0) return;
  EnsureSpan(array.data, static_cast<std::int32_t>(first), static_cast<std::uint32_t>(count), true);
}

namespace {

// The offset of the first byte from [from] on that is not 0, or [end].
std::size_t NextNonZeroByte(const std::uint8_t* bytes, std::size_t from, std::size_t end) {
  while (from < end && from % 8 != 0) {
    if (bytes[from] != 0) return from;
    ++from;
  }
  for (; from + 8 <= end; from += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes + from, 8);
    if (word != 0) break;
  }
  while (from < end && bytes[from] == 0) ++from;
  return from;
}

// One more dimension for one storage whose rows already have theirs.
void AddDimensionHere(VarData* data) {
  if (data->dimension == 0) {
    data->dimension = 1;
    data->payload.elements = nullptr;
    EnsureSpan(data, 0, 1, false);
    return;
  }
  if (data->dimension == 1 && data->payload.elements != nullptr) {
    // Every element becomes a one-element row holding it.
    VarData old = *data;
    data->payload.elements = nullptr;
    data->dimension = 2;
    EnsureSpan(data, old.minIndex, old.elemCount, false);
    auto* rows = static_cast<RowSlot*>(data->payload.elements);
    const auto* bytes = static_cast<const std::uint8_t*>(old.payload.elements);
    const std::size_t end = static_cast<std::size_t>(old.elemCount) * old.elemSize;
    // A zero element is what a row made later holds anyway: only the others
    // become rows now, found a word at a time.
    for (std::size_t at = NextNonZeroByte(bytes, 0, end); at < end;) {
      const auto i = static_cast<std::uint32_t>(at / old.elemSize);
      VarData* row = RowOf(data, old.minIndex + static_cast<std::int32_t>(i), rows[i]);
      std::memcpy(row->payload.elements, bytes + static_cast<std::size_t>(i) * old.elemSize, old.elemSize);
      at = NextNonZeroByte(bytes, static_cast<std::size_t>(i + 1) * old.elemSize, end);
    }
    FreeAddressable(old.payload.elements);
    return;
  }
  data->dimension += 1;
}

}  // namespace

void AddDimension(VarData* data) {
  if (data->containers == nullptr && data->rows == nullptr) {
    AddDimensionHere(data);  // a storage alone: no tree to walk
    return;
  }
  std::vector<VarData*> tree;
  CollectTree(data, tree);
  // Rows first, so that each storage changes after everything it holds.
  std::sort(tree.begin(), tree.end(), [](VarData* a, VarData* b) { return a->dimension < b->dimension; });
  for (VarData* at : tree) AddDimensionHere(at);
}

void KeepTerminatedSlowly(VarData* data) {
  if (!data->isString || data->dimension != 1 || data->payload.elements == nullptr || data->elemCount == 0) return;
  const std::uint8_t* last = ByteElements(data) + (data->elemCount - 1) * data->elemSize;
  for (std::uint32_t i = 0; i < data->elemSize; ++i) {
    if (last[i] != 0) {
      EnsureSpan(data, data->minIndex, data->elemCount + 1, false);
      return;
    }
  }
}

void MarkStringTree(VarData* data) {
  ForEachInTree(data, [](VarData* at) {
    at->isString = 1;
    at->mixedText = 0;
    KeepTerminated(at);
  });
}

namespace {

// Gives an undefined tree its kind: every storage takes it, and one-dimensional
// parts are made again at the new element size, zeroed.
void SetTreeType(VarData* data, int kind) {
  ForEachInTree(data, [kind](VarData* at) {
    at->type = static_cast<std::int8_t>(kind);
    at->elemSize = ElementSize(kind);
    if (at->dimension == 0) {
      std::memset(&at->payload, 0, sizeof at->payload);
      if (kind == KEL_STRUCT) at->payload.members = NewMemberList();
    } else if (at->dimension == 1 && at->payload.elements != nullptr) {
      FreeAddressable(at->payload.elements);
      at->payload.elements = AllocateElements(nullptr, at->elemCount, at->elemSize);
      at->capacity = at->elemCount;
      InitElements(at, at->minIndex, at->elemCount);
    }
  });
}

}  // namespace

bool SetTypeAndDims(Context& context, Var* var, int kind, int arrayness) {
  VarData* data = var->data;
  int current = Arrayness(var);
  if (data->type == kind && current == arrayness) return true;
  if (KindChangeReplaces(var, kind, arrayness)) {
    VarData* fresh = NewData(kind, arrayness);
    ReleaseData(var->data);
    var->data = fresh;
    var->index = 0;
    return true;
  }
  // An element of a typed array keeps the array's kind and shape.
  if (data->type != KEL_UNKNOWN) return RaiseError(context, MSG_1610);
  if (arrayness < current) return RaiseError(context, MSG_1609);
  for (int i = current; i < arrayness; ++i) AddDimension(data);
  if (kind != KEL_UNKNOWN) SetTreeType(data, kind);
  return true;
}

}  // namespace kel
