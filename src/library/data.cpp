// The conversion engine between script values and bytes.

#include "library/data.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

#include "base/text.h"
#include "engine/calls.h"
#include "engine/context.h"
#include "engine/messages.h"
#include "engine/scope.h"
#include "engine/value.h"
#include "library/float80.h"
#include "library/tables.h"

namespace kel {

namespace {

constexpr std::int32_t UWORD32 = -7;
constexpr std::int32_t SWORD32 = -8;
constexpr std::int32_t FLOAT32 = -9;
constexpr std::int32_t FLOAT64 = -10;
constexpr std::int32_t FLOAT80 = -11;
constexpr bool kLittleEndianMachine = std::endian::native == std::endian::little;

// Bytes of a fixed-width type: (1 - type) / 2 for the integer types.
std::uint32_t TypeSize(std::int32_t type) {
  if (type == FLOAT32) return 4;
  if (type == FLOAT64) return 8;
  if (type == FLOAT80) return 10;
  return static_cast<std::uint32_t>((1 - type) / 2);
}

bool IsSigned(std::int32_t type) { return type % 2 == 0; }

bool IsNumberDescription(Var* description) {
  return Arrayness(description) == 0 && IsNumericKind(description->data->type);
}

// The number a description is (a byte count from 0, a type below it); false
// for a structure or anything else. OPTIMIZATION: an integer, as nearly
// every description is, is read inline.
inline bool DescriptionNumber(Var* description, std::int32_t& n) {
  const VarData* data = description->data;
  if (data->type == KEL_INT && data->dimension == 0 && !IsElementRef(description)) {
    n = data->payload.intValue;
    return true;
  }
  if (!IsNumberDescription(description)) return false;
  n = GetInt(description);
  return true;
}

bool InvalidDescription(CallFrame& frame) {
  return RaiseErrorIfRunning(*frame.run, MSG_5116);
}

// A byte array's bytes from its origin to the end of its storage.
std::uint32_t HeldBytes(Var* buffer, const std::uint8_t*& bytes) {
  ArrayRef array = ResolveArray(buffer);
  bytes = static_cast<const std::uint8_t*>(ElementPointer(array.data, array.origin));
  std::int64_t held = static_cast<std::int64_t>(array.data->minIndex) + array.data->elemCount - array.origin;
  return held > 0 ? static_cast<std::uint32_t>(held) : 0;
}

void Reverse(std::uint8_t* bytes, std::uint32_t count) { std::reverse(bytes, bytes + count); }

void WriteNumber(bool bigEndian, Var* value, std::int32_t type, std::uint8_t* area) {
  const std::uint32_t size = TypeSize(type);
  if (type == FLOAT32) {
    float narrowed = static_cast<float>(GetFloat(value));
    std::memcpy(area, &narrowed, 4);
  } else if (type == FLOAT64) {
    double wide = GetFloat(value);
    std::memcpy(area, &wide, 8);
  } else if (type == FLOAT80) {
    EncodeFloat80(GetFloat(value), area);
  } else if (kLittleEndianMachine && (type == SWORD32 || type == UWORD32)) {
    const std::int32_t integer = GetInt(value);  // (the commonest, in the machine's own order)
    std::memcpy(area, &integer, 4);
  } else {
    std::uint32_t bits = static_cast<std::uint32_t>(GetInt(value));
    for (std::uint32_t i = 0; i < size; ++i) area[i] = static_cast<std::uint8_t>(bits >> (8 * i));
  }
  if (bigEndian) Reverse(area, size);
}

Scalar ReadNumber(bool bigEndian, const std::uint8_t* source, std::int32_t type) {
  // OPTIMIZATION: the commonest types in the machine's own order are read
  // as they are.
  if (kLittleEndianMachine && !bigEndian) {
    if (type == FLOAT64) {
      double wide;
      std::memcpy(&wide, source, 8);
      return MakeFloat(wide);
    }
    if (type == SWORD32 || type == UWORD32) {
      std::int32_t integer;
      std::memcpy(&integer, source, 4);
      return MakeInt(integer);
    }
  }
  const std::uint32_t size = TypeSize(type);
  std::uint8_t bytes[10];
  std::memcpy(bytes, source, size);
  if (bigEndian) Reverse(bytes, size);
  if (type == FLOAT32) {
    float narrow;
    std::memcpy(&narrow, bytes, 4);
    return MakeFloat(narrow);
  }
  if (type == FLOAT64) {
    double wide;
    std::memcpy(&wide, bytes, 8);
    return MakeFloat(wide);
  }
  if (type == FLOAT80) {
    return MakeFloat(DecodeFloat80(bytes));
  }
  std::uint32_t bits = 0;
  for (std::uint32_t i = 0; i < size; ++i) bits |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
  if (IsSigned(type) && size < 4 && (bits & (1u << (8 * size - 1))) != 0) bits |= ~0u << (8 * size);
  if (type == -1) return MakeByte(static_cast<std::uint8_t>(bits));
  return MakeInt(static_cast<std::int32_t>(bits));
}

bool IsFiller(const char* name) { return name[0] == '_'; }

}  // namespace

bool BigEndianMode(CallFrame& frame) {
  static CachedLookup modeVariable;
  Var* mode = modeVariable.Find(frame.run->globals, "_BigEndianMode");
  if (mode == nullptr) return false;
  std::int32_t integer;
  if (IntVariable(mode, integer)) return integer != 0;  // (the usual 0 or 1, read inline)
  return IsNumericScalar(mode) && GetFloat(mode) != 0.0;
}

bool IsByteCount(Var* description) {
  std::int32_t n;
  return DescriptionNumber(description, n) && n >= 0;
}

namespace {

// The size a number description stands for (a count of bytes, or a type).
inline bool NumberSize(CallFrame& frame, std::int32_t n, std::uint32_t& size) {
  if (n < FLOAT80) return InvalidDescription(frame);
  size = n >= 0 ? static_cast<std::uint32_t>(n) : TypeSize(n);
  return true;
}

// The size of a member of a structure description: nearly always a number,
// measured here.
inline bool PartSize(CallFrame& frame, Var* description, std::uint32_t& size) {
  std::int32_t n;
  return DescriptionNumber(description, n) ? NumberSize(frame, n, size) : DescriptionSize(frame, description, size);
}

}  // namespace

bool DescriptionSize(CallFrame& frame, Var* description, std::uint32_t& size) {
  std::int32_t n;
  if (DescriptionNumber(description, n)) return NumberSize(frame, n, size);
  if (!IsStructure(description)) return InvalidDescription(frame);
  std::uint64_t total = 0;
  for (MemberNode* node = MembersOf(description)->head; node != nullptr; node = node->next) {
    std::uint32_t part = 0;
    if (!PartSize(frame, node->var, part)) return false;
    total += part;
  }
  if (total > 0x7FFFFFFFu) return InvalidDescription(frame);
  size = static_cast<std::uint32_t>(total);
  return true;
}

namespace {

// One conversion between a value and bytes: the byte order is read once,
// as it stands when the conversion starts.
struct Conversion {
  CallFrame& frame;
  bool bigEndian;
};

// The member of [value] named as the description member [node]. [guess] is
// where the value's chain is expected to hold it, and moves past the member
// found. OPTIMIZATION: a record is nearly always made with its members in
// the description's order, so the next member in the chain is tried before
// a search.
Var* MemberLike(Var* value, const MemberNode* node, MemberNode*& guess) {
  const std::string_view name(node->name, node->length);
  MemberNode* found = guess;
  if (found == nullptr || found->length != node->length || !SameBytes(found->name, node->name, node->length)) {
    found = FindMemberNode(MembersOf(value), name, false);
    if (found == nullptr) return nullptr;
  }
  guess = found->next;
  return found->var;
}

bool WriteInto(const Conversion& conversion, Var* value, Var* description, std::uint8_t* area, std::uint32_t size) {
  CallFrame& frame = conversion.frame;
  std::int32_t n;
  const bool number = DescriptionNumber(description, n);
  if (number && n >= 0) {
    if (!CheckValue(frame, value, PARAM_BUFFER)) return false;
    const std::uint8_t* bytes = nullptr;
    const std::uint32_t held = HeldBytes(value, bytes);
    if (size == 0) return true;
    std::memset(area, 0, size);
    if (held != 0) std::memcpy(area, bytes, std::min(held, size));
    return true;
  }
  if (number) {
    if (!CheckValue(frame, value, PARAM_NUMERIC)) return false;
    WriteNumber(conversion.bigEndian, value, n, area);
    return true;
  }
  if (Arrayness(value) == 0 && !IsDefined(value)) {
    if (size != 0) std::memset(area, 0, size);  // an undefined value writes an empty record
    return true;
  }
  if (!CheckValue(frame, value, PARAM_STRUCT)) return false;
  MemberNode* guess = MembersOf(value)->head;
  for (MemberNode* node = MembersOf(description)->head; node != nullptr; node = node->next) {
    std::uint32_t part = 0;
    if (!PartSize(frame, node->var, part)) return false;
    Var* member = IsFiller(node->name) ? nullptr : MemberLike(value, node, guess);
    if (member == nullptr) {
      if (part != 0) std::memset(area, 0, part);
    } else if (!WriteInto(conversion, member, node->var, area, part)) {
      return false;
    }
    area += part;
  }
  return true;
}

bool ReadInto(const Conversion& conversion, const std::uint8_t* bytes, std::uint32_t count, Var* description,
              Var* target, bool partial);

// The byte array [size] bytes at [bytes] make, as a variable of its own.
Var* NewBlock(const std::uint8_t* bytes, std::uint32_t size) {
  Var* block = NewByteArrayVar(reinterpret_cast<const char*>(bytes), size, false);
  if (size == 0) ReleaseElements(block->data);
  return block;
}

// Reads the description member [node] into a new member appended at
// [tail], its value made in place; [tail] moves past it.
bool ReadNewMember(const Conversion& conversion, const std::uint8_t* bytes, std::uint32_t part,
                   const MemberNode* node, MemberNode**& tail) {
  std::int32_t n;
  bool ok = true;
  if (!DescriptionNumber(node->var, n)) {
    *tail = NewMemberNodeLike(node, NewVar(KEL_UNKNOWN));
    ok = ReadInto(conversion, bytes, part, node->var, (*tail)->var, false);
  } else if (n >= 0) {
    *tail = NewMemberNodeLike(node, NewBlock(bytes, part));
  } else {
    *tail = NewMemberNodeLike(node, NewScalarVar(ReadNumber(conversion.bigEndian, bytes, n)));
  }
  tail = &(*tail)->next;
  return ok;
}

bool ReadInto(const Conversion& conversion, const std::uint8_t* bytes, std::uint32_t count, Var* description,
              Var* target, bool partial) {
  Context& run = *conversion.frame.run;
  std::int32_t n;
  const bool numberDescription = DescriptionNumber(description, n);
  if (numberDescription && n >= 0) {
    std::uint32_t size = partial ? count : static_cast<std::uint32_t>(n);
    std::unique_ptr<Var, void (*)(Var*)> block(NewBlock(bytes, size), ReleaseVar);
    return Assign(run, target, block.get());
  }
  if (numberDescription) {
    Scalar number = ReadNumber(conversion.bigEndian, bytes, n);
    // OPTIMIZATION: a number variable keeps its own kind, as assigning does,
    // and an undefined one takes the number's.
    if (!IsDefined(target) && !IsElementRef(target) && !SetTypeAndDims(run, target, number.type, 0)) return false;
    if (IsNumericScalar(target)) {
      SetScalar(target, number);
      return true;
    }
    std::unique_ptr<Var, void (*)(Var*)> value(NewScalarVar(number), ReleaseVar);
    return Assign(run, target, value.get());
  }
  if (!IsStructure(target) && !SetTypeAndDims(run, target, KEL_STRUCT, 0)) return false;
  // A structure without members (what BLObGet reads into) takes each member
  // at the chain's end as it is read, with no search: no description has a
  // name twice.
  MemberList* list = MembersOf(target);
  MemberNode** tail = list->head == nullptr && list->index == nullptr ? &list->head : nullptr;
  for (MemberNode* node = MembersOf(description)->head; node != nullptr; node = node->next) {
    std::uint32_t part = 0;
    if (!PartSize(conversion.frame, node->var, part)) return false;
    if (!IsFiller(node->name)) {
      const bool ok = tail != nullptr ? ReadNewMember(conversion, bytes, part, node, tail)
                                      : ReadInto(conversion, bytes, part, node->var,
                                                 FindMember(target, {node->name, node->length}, true), false);
      if (!ok) return false;
    }
    bytes += part;
  }
  return true;
}

}  // namespace

// [size] may be 0, and then [area] may be null (an empty blob has no bytes).
bool WriteValue(CallFrame& frame, Var* value, Var* description, std::uint8_t* area, std::uint32_t size) {
  return WriteInto(Conversion{frame, BigEndianMode(frame)}, value, description, area, size);
}

bool ReadValue(CallFrame& frame, const std::uint8_t* bytes, std::uint32_t count, Var* description, Var* target,
               bool partial) {
  return ReadInto(Conversion{frame, BigEndianMode(frame)}, bytes, count, description, target, partial);
}

std::size_t ReadBlock(std::FILE* stream, std::uint32_t size, std::vector<std::uint8_t>& bytes) {
  constexpr std::size_t kPiece = 65536;
  std::size_t arrived = 0;
  while (arrived < size) {
    std::size_t want = std::min<std::size_t>(kPiece, size - arrived);
    bytes.resize(arrived + want);
    std::size_t got = std::fread(bytes.data() + arrived, 1, want, stream);
    arrived += got;
    if (got < want) break;
  }
  bytes.resize(arrived);
  return arrived;
}

bool WriteBlock(CallFrame& frame, Var* value, Var* description, std::FILE* stream, std::size_t& written) {
  std::uint32_t size = 0;
  if (!DescriptionSize(frame, description, size)) return false;
  written = 0;
  if (IsByteCount(description)) {
    // The value's bytes, then zeros up to the count, in pieces.
    if (!CheckValue(frame, value, PARAM_BUFFER)) return false;
    const std::uint8_t* bytes = nullptr;
    std::uint32_t held = std::min(HeldBytes(value, bytes), size);
    written = held > 0 ? std::fwrite(bytes, 1, held, stream) : 0;
    static const std::uint8_t kZeros[4096] = {};
    while (written == held && held < size) {
      std::uint32_t piece = std::min<std::uint32_t>(sizeof kZeros, size - held);
      std::size_t done = std::fwrite(kZeros, 1, piece, stream);
      written += done;
      held += static_cast<std::uint32_t>(done);
      if (done < piece) break;
    }
    return true;
  }
  std::vector<std::uint8_t> area(size);
  if (!WriteValue(frame, value, description, area.data(), size)) return false;
  written = size > 0 ? std::fwrite(area.data(), 1, size, stream) : 0;
  return true;
}

}  // namespace kel
