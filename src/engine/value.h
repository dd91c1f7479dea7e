#pragma once
// Values and variables: the shared, reference-counted storage behind every
// value (VarData) and the references that names, members, operands and
// arguments hold (Var), with the primitive operations every other part of the
// engine and the library works through.

#include <climits>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace kel {

struct Context;

enum ValueKind : std::int8_t {
  KEL_UNKNOWN = 0,
  KEL_STRUCT = 1,
  KEL_BYTE = 2,
  KEL_INT = 3,
  KEL_FLOAT = 4,
};

// Bytes per element of each kind; a structure element is one reference to its
// member-list cell.
constexpr std::uint8_t ElementSize(int kind) {
  switch (kind) {
    case KEL_STRUCT: return sizeof(void*);
    case KEL_INT: return 4;
    case KEL_FLOAT: return 8;
    default: return 1;
  }
}

constexpr bool IsNumericKind(int kind) { return kind >= KEL_BYTE; }

// The most bytes one array's storage may take: what a 32-bit process could
// address at all. More is the out-of-memory message 0003, at once.
constexpr std::uint64_t kMaxArrayBytes = 0x7FFFFFFF;

// How far [index] lies above [minIndex], in 32-bit wrapping arithmetic: an
// index below the span gives a large offset, which every bounds check refuses,
// and no signed subtraction can overflow.
inline std::uint32_t IndexOffset(std::int32_t index, std::int32_t minIndex) {
  return static_cast<std::uint32_t>(index) - static_cast<std::uint32_t>(minIndex);
}

struct VarData;
struct Var;

// One member of a structure: members keep the order of their first use.
struct MemberNode {
  static constexpr std::uint32_t kShortName = 20;
  MemberNode* next;
  char* name;  // owned: shortName, or a block of its own for a longer name
  Var* var;    // owned
  std::uint32_t length;  // of the name, so that a search needs no strlen
  // OPTIMIZATION: the usual short name lives in the node, so that making and
  // dropping a structure (a record read from a BLOb) costs no heap blocks.
  char shortName[kShortName];
};

struct MemberIndex;

// The one-word cell that holds a structure's member list; a structure value
// and each element of a structure array refers to its own cell.
struct MemberList {
  MemberNode* head;
  // Changes whenever members are taken away, and differs between any two
  // lists ever made: a member found once can be reused while it is the same.
  std::uint32_t stamp;
  // Names to members, made once the list is long enough for a walk to cost
  // (a structure used as a dictionary); dropped whenever members go.
  MemberIndex* index;
};

// A new, empty member list with a stamp of its own.
MemberList* NewMemberList();
// Marks that members of [list] were taken away.
void RestampMembers(MemberList* list);
// Frees the name index of [list], if it has one.
void DropMemberIndex(MemberList* list);
// Tells the name index of [list], if it has one, that the variables of its
// members changed places among them.
void RelearnMemberVars(MemberList* list);
// A new member node for [name] holding an undefined variable.
MemberNode* NewMemberNode(std::string_view name);
// A new member node for [name] holding [var], a variable of its own made for it.
MemberNode* NewMemberNode(std::string_view name, Var* var);
// A new member node named as [model] (a node of another list) holding [var].
MemberNode* NewMemberNodeLike(const MemberNode* model, Var* var);
// Frees one node made by NewMemberNode and its name (not its variable).
void FreeMemberNode(MemberNode* node);
// Frees the member chain starting at [node], their variables and names.
void FreeMemberNodes(MemberNode* node);
// Frees a list made by NewMemberList (its members are gone already).
void FreeMemberList(MemberList* list);

// An element of an array of two or more dimensions: a row one dimension
// lower and the index in that row at which this element's view starts.
struct RowSlot {
  VarData* row;  // null until the row is first asked for (RowOf)
  std::int32_t origin;
};

// A back-reference from a row to an array that holds it as element [index],
// chained both into the row's containers and into the parent's rows, so that
// a walk over an array's rows costs the rows made, not the span: an array
// given one element at a high index is walked at once.
struct ContainerLink {
  ContainerLink* next;  // the row's next container
  VarData* parent;
  std::int32_t index;
  VarData* row;
  ContainerLink* nextRow;  // the parent's rows, both ways
  ContainerLink* prevRow;
};

struct VarData {
  std::int32_t refCount;
  std::int8_t type;
  std::uint8_t elemSize;
  std::uint8_t isString;
  std::uint8_t dimension;
  union Payload {
    std::uint8_t byteValue;
    std::int32_t intValue;
    double floatValue;
    MemberList* members;  // a single structure
    void* elements;       // dimension >= 1: element storage, null until needed
  } payload;
  std::uint32_t elemCount;
  std::int32_t minIndex;
  ContainerLink* containers;
  ContainerLink* rows;  // the rows made in this storage (two or more dimensions)
  std::uint32_t capacity;  // elements the storage has room for
  std::uint32_t mark;      // visit mark of tree walks (types, dimensions, text marks)
  // Where the text ends (the index of its first NUL), valid while nothing has
  // been written to any storage since (textHintEpoch == StorageWriteEpoch).
  std::int32_t textHint;
  std::int32_t textHintOrigin;  // the origin the text was measured from
  std::uint32_t textHintEpoch;
  // Set on a storage and everything above it when a row whose text mark
  // differs (or whose own rows differ) joined below: until the next full
  // marking, a text row of this tree cannot assume its relatives are text.
  std::uint32_t mixedText : 8;
  // OPTIMIZATION: the low bits of the name hash of this text when it last
  // named a structure member (a key of a dictionary), where that member's
  // search starts next time. Only a guess: the name found there is compared
  // with the text, and a text changed since costs a second search.
  std::uint32_t memberHint : 24;
};
static_assert(sizeof(VarData) <= 64, "a storage record fills one cache line");

// A remembered text end (VarData::textHint) is trusted only while nothing
// was written into that storage since: every write through the value
// operations forgets it, and a write through a raw address (poke, a
// dynamic-link call), which could hit any storage, moves the epoch on.
extern std::uint32_t StorageWriteEpoch;
inline void NoteStorageWrite() { ++StorageWriteEpoch; }
inline void ForgetTextEnd(VarData* data) { data->textHintEpoch = 0; }

constexpr std::uint16_t VAR_ELEMENT = 0x8000;     // the Var denotes element [index]
constexpr std::uint16_t VAR_NAME_COUNT = 0x7FFF;  // names bound to the Var

struct Var {
  VarData* data;
  std::int32_t index;     // element index, or the origin of an array reference
  std::uint16_t flags;    // VAR_ELEMENT and the count of bound names
  std::uint32_t literal;  // 1: a string literal of the program text
  // Operands holding the Var (a member, or a built-in's result by reference)
  // while the expression that holds them runs, and VAR_ORPHANED once its
  // member is gone: the Var then lives until the last hold is dropped, so an
  // expression that takes away the structure a member of it came from
  // (s.inner.w = (s = s.inner)) never reads freed memory.
  std::uint32_t holds;
};

constexpr std::uint32_t VAR_ORPHANED = 0x80000000u;

inline void HoldVar(Var* var) { ++var->holds; }
// Drops one hold; an orphaned Var goes with its last.
void DropVarHold(Var* var);

// A scalar read out of a value, or held by an operand without storage.
struct Scalar {
  std::int8_t type;
  union {
    std::uint8_t byteValue;
    std::int32_t intValue;
    double floatValue;
  };
};

// ===================================================================
// Creating and releasing
// ===================================================================

// A fresh Var on fresh storage of [kind] (refCount 1): a zero scalar, an empty
// structure, or with [dimensions] > 0 an array whose span is 0..0 at every level.
Var* NewVar(int kind, int dimensions = 0);
Var* NewFloatVar(double value);
Var* NewByteVar(std::uint8_t value);
Var* NewScalarVar(const Scalar& value);
// A one-dimensional byte array holding [count] bytes of [bytes]; with
// [isString] a terminating zero follows them.
Var* NewByteArrayVar(const char* bytes, std::uint32_t count, bool isString);
// A new Var referring to [data] (which gains a reference) at [index].
Var* NewVarOn(VarData* data, std::int32_t index, std::uint16_t flags);
// Fresh storage of [kind] and [dimensions] with refCount 1.
VarData* NewData(int kind, int dimensions);

// Drops [var] and its reference to its storage.
void ReleaseVar(Var* var);

// OPTIMIZATION: integer temporaries made and dropped around every call come
// back through a few kept pairs of variable and storage. (Sanitizer builds
// keep none, so that every record stays a block of its own.)
struct SpareInts {
  static constexpr int kCount = 16;
  Var* vars[kCount];
  int count = 0;
};
extern SpareInts spareInts;

// A fresh integer variable holding [value]: a spare one when there is one.
Var* NewIntVarSlowly(std::int32_t value);
inline Var* NewIntVar(std::int32_t value) {
  if (spareInts.count == 0) return NewIntVarSlowly(value);
  Var* var = spareInts.vars[--spareInts.count];
  var->data->payload.intValue = value;
  return var;
}

// Releases [var]; one still as NewIntVar made it (an unshared integer
// temporary) goes back to the spares for the next one.
inline void ReleaseIntVar(Var* var) {
#ifndef KEL_PLAIN_ALLOCATION
  const VarData* data = var->data;
  if (spareInts.count < SpareInts::kCount && (var->flags | var->index | var->literal) == 0 && data->refCount == 1 &&
      data->type == KEL_INT && data->dimension == 0 && data->isString == 0 &&
      ((data->elemCount | data->capacity) == 0 && data->containers == nullptr)) {
    spareInts.vars[spareInts.count++] = var;
    return;
  }
#endif
  ReleaseVar(var);
}

// Drops one reference to [data], freeing it and what it holds at zero.
void ReleaseData(VarData* data);
// Frees the elements of [data] (rows lose a reference, structure elements
// their members) and leaves it without storage.
void ReleaseElements(VarData* data);

// ===================================================================
// Shape
// ===================================================================

inline bool IsElementRef(const Var* var) { return (var->flags & VAR_ELEMENT) != 0; }
inline bool IsLvalue(const Var* var) { return var->flags != 0; }
inline int Arrayness(const Var* var) { return var->data->dimension - (IsElementRef(var) ? 1 : 0); }
inline int KindOf(const Var* var) { return var->data->type; }
inline bool IsDefined(const Var* var) { return var->data->type != KEL_UNKNOWN; }
inline bool IsNumericScalar(const Var* var) { return Arrayness(var) == 0 && IsNumericKind(var->data->type); }
inline bool IsStructure(const Var* var) { return Arrayness(var) == 0 && var->data->type == KEL_STRUCT; }

// Bytes between elements of [data]'s storage.
inline std::uint32_t Stride(const VarData* data) {
  return data->dimension > 1 ? sizeof(RowSlot) : data->elemSize;
}

inline std::uint8_t* ByteElements(const VarData* data) {
  return static_cast<std::uint8_t*>(data->payload.elements);
}

// ===================================================================
// Scalars
// ===================================================================

// The scalar denoted by [var] (the element for an element reference).
Scalar GetScalar(const Var* var);
// A plain integer variable (not an array, not an element view, and with
// storage: a local not used yet has none) and its value.
inline bool IntVariable(const Var* var, std::int32_t& out) {
  const VarData* data = var->data;
  if (data == nullptr || data->type != KEL_INT || data->dimension != 0 || (var->flags & VAR_ELEMENT)) return false;
  out = data->payload.intValue;
  return true;
}
std::int32_t GetIntSlowly(const Var* var);
// OPTIMIZATION: a plain integer variable is read here, without the scalar.
inline std::int32_t GetInt(const Var* var) {
  std::int32_t value;
  return IntVariable(var, value) ? value : GetIntSlowly(var);
}
double GetFloat(const Var* var);
std::uint8_t GetByte(const Var* var);

// Stores [value] converted to the kind [var] holds; a write into text storage
// keeps the text terminated.
void SetScalar(Var* var, const Scalar& value);

// True when [var] is a non-array number equal to 0.
inline bool IsZeroNumber(const Var* var) { return IsNumericScalar(var) && GetFloat(var) == 0.0; }
void SetInt(Var* var, std::int32_t value);
void SetFloat(Var* var, double value);

// Conversions between the numeric kinds. Out-of-range floats (and NaN) give
// what the processor's truncation gives.
inline std::int32_t FloatToInt(double value) {
  if (!(value > -2147483649.0 && value < 2147483648.0)) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}
inline std::int32_t ScalarToInt(const Scalar& value) {
  switch (value.type) {
    case KEL_BYTE: return value.byteValue;
    case KEL_INT: return value.intValue;
    case KEL_FLOAT: return FloatToInt(value.floatValue);
    default: return 0;
  }
}
inline double ScalarToFloat(const Scalar& value) {
  switch (value.type) {
    case KEL_BYTE: return value.byteValue;
    case KEL_INT: return value.intValue;
    case KEL_FLOAT: return value.floatValue;
    default: return 0;
  }
}
inline Scalar MakeInt(std::int32_t value) {
  Scalar scalar;
  scalar.type = KEL_INT;
  scalar.floatValue = 0;
  scalar.intValue = value;
  return scalar;
}
inline Scalar MakeFloat(double value) {
  Scalar scalar;
  scalar.type = KEL_FLOAT;
  scalar.floatValue = value;
  return scalar;
}
inline Scalar MakeByte(std::uint8_t value) {
  Scalar scalar;
  scalar.type = KEL_BYTE;
  scalar.floatValue = 0;
  scalar.byteValue = value;
  return scalar;
}

// OPTIMIZATION: the engine's hot paths read and write numbers through these
// without leaving the header; anything unusual (text storage, an element
// outside the span) answers false and takes the general path.

// The address of a number [var] holds directly: its payload, or its element
// of a one-dimensional numeric array already covered by the storage.
inline void* DirectNumber(const Var* var) {
  VarData* data = var->data;
  if (!IsNumericKind(data->type)) return nullptr;
  if ((var->flags & VAR_ELEMENT) == 0) return data->dimension == 0 ? &data->payload : nullptr;
  if (data->dimension != 1 || data->isString) return nullptr;
  std::uint32_t offset = IndexOffset(var->index, data->minIndex);
  if (data->payload.elements == nullptr || offset >= data->elemCount) return nullptr;
  return static_cast<std::uint8_t*>(data->payload.elements) + offset * data->elemSize;
}

inline bool ReadNumber(const Var* var, Scalar& out) {
  const void* at = DirectNumber(var);
  if (at == nullptr) return false;
  switch (var->data->type) {
    case KEL_BYTE: out = MakeByte(*static_cast<const std::uint8_t*>(at)); return true;
    case KEL_INT: {
      std::int32_t value;
      std::memcpy(&value, at, 4);
      out = MakeInt(value);
      return true;
    }
    default: {
      double value;
      std::memcpy(&value, at, 8);
      out = MakeFloat(value);
      return true;
    }
  }
}

// Stores [value] converted to the kind [var] holds.
inline bool WriteNumber(Var* var, const Scalar& value) {
  void* at = DirectNumber(var);
  if (at == nullptr) return false;
  if (var->flags & VAR_ELEMENT) ForgetTextEnd(var->data);
  switch (var->data->type) {
    case KEL_BYTE: *static_cast<std::uint8_t*>(at) = static_cast<std::uint8_t>(ScalarToInt(value)); return true;
    case KEL_INT: {
      std::int32_t converted = ScalarToInt(value);
      std::memcpy(at, &converted, 4);
      return true;
    }
    default: {
      double converted = ScalarToFloat(value);
      std::memcpy(at, &converted, 8);
      return true;
    }
  }
}

// ===================================================================
// Arrays
// ===================================================================

struct ArrayRef {
  VarData* data;
  std::int32_t origin;
};

// The row at [slot], element [index] of [data] (an array of two or more
// dimensions): made, empty, if it has not been yet.
VarData* RowOf(VarData* data, std::int32_t index, RowSlot& slot);

// Records that [row] is element [index] of [parent] (whose slot the caller
// sets), and takes that record away again.
void LinkRow(VarData* row, VarData* parent, std::int32_t index);
void UnlinkRow(VarData* row, VarData* parent, std::int32_t index);

// Whether [index] is inside [data]'s storage as it stands.
inline bool HasElement(const VarData* data, std::int32_t index) {
  return data->payload.elements != nullptr && index >= data->minIndex &&
         IndexOffset(index, data->minIndex) < data->elemCount;
}

// The slot of row [index] of [data] (an array of two or more dimensions)
// when [index] is inside its storage and the row is made already; else null.
inline const RowSlot* MadeRow(const VarData* data, std::int32_t index) {
  if (!HasElement(data, index)) return nullptr;
  const RowSlot* slot = static_cast<const RowSlot*>(data->payload.elements) + IndexOffset(index, data->minIndex);
  return slot->row != nullptr ? slot : nullptr;
}

// The array that [var] denotes: for an element reference into an array of
// two or more dimensions the row stored there, otherwise [var]'s own storage.
// Existing storage grows to cover the origin.
ArrayRef ResolveArraySlowly(Var* var);
inline ArrayRef ResolveArray(Var* var) {
  VarData* data = var->data;
  // OPTIMIZATION: no row to find and nothing to grow, the common case.
  if ((data->dimension <= 1 || !IsElementRef(var)) &&
      (data->dimension == 0 || data->payload.elements == nullptr || HasElement(data, var->index))) {
    return ArrayRef{data, var->index};
  }
  return ResolveArraySlowly(var);
}

// Makes [data]'s storage cover [first] .. [first] + [count] - 1; with [trim],
// drops the elements outside that span too.
void EnsureSpanSlowly(VarData* data, std::int32_t first, std::uint32_t count, bool trim);
inline void EnsureSpan(VarData* data, std::int32_t first, std::uint32_t count, bool trim) {
  // OPTIMIZATION: a plain array growing at its end into its reserve, as text
  // built piece by piece does.
  if (count == 0) return;
  if (!trim && data->payload.elements != nullptr && data->dimension == 1 && data->type != KEL_STRUCT &&
      first >= data->minIndex) {
    const std::uint32_t start = static_cast<std::uint32_t>(first) - static_cast<std::uint32_t>(data->minIndex);
    if (count <= data->capacity && start <= data->capacity - count) {
      const std::uint32_t newCount = start + count;  // within the reserve, so no overflow
      if (newCount > data->elemCount) {
        ForgetTextEnd(data);
        std::memset(static_cast<std::uint8_t*>(data->payload.elements) + static_cast<std::size_t>(data->elemCount) * data->elemSize,
                    0, static_cast<std::size_t>(newCount - data->elemCount) * data->elemSize);
        data->elemCount = newCount;
      }
      return;
    }
  }
  EnsureSpanSlowly(data, first, count, trim);
}

// The address of element [index] of a one-dimensional [data], which grows to
// cover it.
void* ElementPointerSlowly(VarData* data, std::int32_t index);
inline void* ElementPointer(VarData* data, std::int32_t index) {
  const auto offset = static_cast<std::uint32_t>(index) - static_cast<std::uint32_t>(data->minIndex);
  if (data->payload.elements == nullptr || index < data->minIndex || offset >= data->elemCount) {
    return ElementPointerSlowly(data, index);
  }
  return static_cast<std::uint8_t*>(data->payload.elements) + offset * Stride(data);
}

// A new element reference to element [offset] of the array [var] denotes; an
// undefined scalar [var] first becomes an array.
Var* ElementRef(Var* var, std::int32_t offset);

// The raw bytes of element [offset] of the one-dimensional array [var]
// denotes, the storage grown to cover it.
inline void* ElementAddress(Var* var, std::int32_t offset) {
  ArrayRef array = ResolveArray(var);
  const auto index = static_cast<std::int32_t>(static_cast<std::uint32_t>(array.origin) + static_cast<std::uint32_t>(offset));
  return ElementPointer(array.data, index);
}

// The span of the array [var] denotes, relative to its origin.
void GetSpan(Var* var, std::int32_t& lowest, std::int32_t& highest);
// Makes the span exactly [lowest] .. [highest] relative to the origin.
void SetSpan(Var* var, std::int32_t lowest, std::int32_t highest);

// Adds one dimension to the whole array tree of [data] (its containers too).
void AddDimension(VarData* data);
// Grows a one-dimensional text [data] by a zero element when its last one is not 0.
void KeepTerminatedSlowly(VarData* data);
inline void KeepTerminated(VarData* data) {
  if (data->isString && data->dimension == 1 && data->elemSize == 1 && data->payload.elements != nullptr &&
      data->elemCount != 0 && static_cast<const std::uint8_t*>(data->payload.elements)[data->elemCount - 1] == 0) {
    return;  // ends with its NUL already, the usual case
  }
  KeepTerminatedSlowly(data);
}

// Marks the tree of [data] as text and terminates every one-dimensional part.
void MarkStringTree(VarData* data);
// True when a storage at or above [data] holds rows of mixed text marks.
bool TreeHasMixedText(const VarData* data);
// TreeHasMixedText with the commonest trees inline: a storage of its own,
// and a row of an array that is itself no row.
inline bool HasMixedTextAbove(const VarData* data) {
  if (data->mixedText != 0) return true;
  const ContainerLink* link = data->containers;
  if (link == nullptr) return false;
  if (link->next == nullptr && link->parent->containers == nullptr) return link->parent->mixedText != 0;
  return TreeHasMixedText(data);
}
inline void MarkString(VarData* data) {
  // A text storage in a tree whose rows all share its mark (the rows of a
  // string array) is marked already: only its own end needs keeping.
  if (data->isString && !HasMixedTextAbove(data)) {
    if (data->dimension <= 1) KeepTerminated(data);
    return;
  }
  MarkStringTree(data);
}

// True when making the defined [var] hold [kind] with [arrayness] gives it
// fresh storage, which frees what it held (its members, its elements).
inline bool KindChangeReplaces(const Var* var, int kind, int arrayness) {
  const VarData* data = var->data;
  if (data->type == KEL_UNKNOWN || IsElementRef(var)) return false;
  return data->type != kind || Arrayness(var) != arrayness;
}

// Makes [var] hold [kind] with [arrayness]. Fails with 1609 or 1610.
[[nodiscard]] bool SetTypeAndDims(Context& context, Var* var, int kind, int arrayness);

// ===================================================================
// Structures
// ===================================================================

// The member list of an element of a structure array, made when first
// asked for.
MemberList* ElementMembers(const Var* var);

// The member list of the structure [var] denotes (a structure, or an element
// of a structure array).
inline MemberList* MembersOf(const Var* var) {
  VarData* data = var->data;
  if (data->type != KEL_STRUCT) return nullptr;
  if (IsElementRef(var)) return ElementMembers(var);
  return data->dimension == 0 ? data->payload.members : nullptr;
}

// The member [name] of the structure [structVar], appended undefined when
// missing and [create] is set; null otherwise.
Var* FindMember(Var* structVar, std::string_view name, bool create);
// FindMember for the NUL-terminated name [text].
Var* FindMemberText(Var* structVar, const char* text, bool create);
// FindMemberText for a [text] that lies in [storage], with [room] bytes of
// storage from its first (its NUL among them): a name looked up again
// starts where the storage's hint says.
Var* FindMemberOfStorage(Var* structVar, const char* text, VarData* storage, std::uint32_t room, bool create);
// The node of member [name] in [list], appended undefined when missing and
// [create] is set; null otherwise.
MemberNode* FindMemberNode(MemberList* list, std::string_view name, bool create);

// ===================================================================
// Assignment and truth
// ===================================================================

// The language's one assignment of [source] (defined) into [target].
[[nodiscard]] bool Assign(Context& context, Var* target, Var* source);
// Assign for a [source] that is a temporary about to be released (a call's
// result): a structure's members move to a structure [target] instead of
// being copied, with the same outcome.
[[nodiscard]] bool AssignTemporary(Context& context, Var* target, Var* source);

// Copies the literal [literal] (a string, or the bytes of a multi-character
// character literal) into [target], which never shares the literal's storage;
// a string makes [target] text. The copy never shrinks [target]. Fails like
// SetTypeAndDims.
[[nodiscard]] bool AssignStringLiteral(Context& context, Var* target, const Var* literal);

// 0 or 1, or -1 after raising 1606, 1607 or 1608.
int TruthValue(Context& context, const Var* var);

// Makes [var] undefined again; its names stay bound.
void UndefineVar(Var* var);

// Reports reading the undefined [var]: 1607 with its name when one can be
// found, else 1608 (also for a null [var]: a value with no variable, as a
// function that returned nothing). Always returns false. The one place that
// reports an undefined value.
bool RaiseUndefined(Context& context, const Var* var);

// A process-wide identity for a storage, for ordering unrelated arrays.
inline std::uintptr_t StorageIdentity(const VarData* data) { return reinterpret_cast<std::uintptr_t>(data); }

}  // namespace kel
