#pragma once
// Values and variables: the shared, reference-counted storage behind every
// value (VarData) and the references that names, members, operands and
// arguments hold (Var).

#include <cstdint>
#include <cstring>

namespace kel {

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

struct VarData;
struct Var;

// One member of a structure: members keep the order of their first use.
struct MemberNode {
  MemberNode* next;
  char* name;  // owned
  Var* var;    // owned
};

// The one-word cell that holds a structure's member list; a structure value
// and each element of a structure array refers to its own cell.
struct MemberList {
  MemberNode* head;
};

// An element of an array of two or more dimensions: a row one dimension
// lower and the index in that row at which this element's view starts.
struct RowSlot {
  VarData* row;
  std::int32_t origin;
};

// A back-reference from a row to an array that holds it as element [index].
struct ContainerLink {
  ContainerLink* next;
  VarData* parent;
  std::int32_t index;
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
};

constexpr std::uint16_t VAR_ELEMENT = 0x8000;     // the Var denotes element [index]
constexpr std::uint16_t VAR_NAME_COUNT = 0x7FFF;  // names bound to the Var

struct Var {
  VarData* data;
  std::int32_t index;    // element index, or the origin of an array reference
  std::uint16_t flags;   // VAR_ELEMENT and the count of bound names
  std::uint32_t literal; // 1: a string literal of the program text
};

// A fresh Var on fresh storage of [kind] (refCount 1): a zero scalar, or an
// empty structure.
Var* NewVar(int kind);
Var* NewIntVar(std::int32_t value);
Var* NewFloatVar(double value);
Var* NewByteVar(std::uint8_t value);
// A one-dimensional byte array holding [count] bytes of [bytes]; with
// [isString] a terminating zero follows them.
Var* NewByteArrayVar(const char* bytes, std::uint32_t count, bool isString);

// Drops [var] and its reference to its storage.
void ReleaseVar(Var* var);
// Drops one reference to [data], freeing it and what it holds at zero.
void ReleaseData(VarData* data);

// The raw bytes of a one-dimensional byte array (null when it has no storage).
inline std::uint8_t* ByteElements(const VarData* data) {
  return static_cast<std::uint8_t*>(data->payload.elements);
}

}  // namespace kel
