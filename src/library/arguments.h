#pragma once
// The conventions the C library handlers share: numbers, strings, buffers
// and destinations as arguments, and strings, offsets and structures as
// results.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kel {

struct CallFrame;
struct Context;
struct Var;
struct VarData;

// Argument [i] as a 32-bit integer (PARAM_NUMERIC, floats truncated).
bool GetInteger(CallFrame& frame, int i, std::int32_t& value);
// Argument [i] as a double (PARAM_NUMERIC).
bool GetDouble(CallFrame& frame, int i, double& value);
// Argument [i] as a string (PARAM_STRING): its bytes from its origin up to
// the first NUL, which its storage guarantees.
const char* GetString(CallFrame& frame, int i);
// The text of [var] as GetString gives it when [var] is a byte array with
// storage (marked as text, as GetString marks it); null for anything else,
// which GetString checks and reports.
const char* PlainText(Var* var);
// Where a text PlainText gives lies: its storage, and the bytes of storage
// from its first (its NUL among them).
struct TextPlace {
  VarData* storage = nullptr;
  std::uint32_t room = 0;
};
const char* PlainText(Var* var, TextPlace& place);

// A byte array used by length: its bytes from the origin to its highest index.
struct Buffer {
  Var* var;
  std::uint8_t* bytes;
  std::uint32_t length;
};
bool GetBuffer(CallFrame& frame, int i, Buffer& buffer);
// The same view of a value already checked as a byte array.
Buffer BufferOf(Var* var);

// Argument [i] made a one-dimensional byte array (a destination); an element
// of a typed array raises 1610. With [asText] it is marked as text.
Var* GetDestination(CallFrame& frame, int i, bool asText);

// Results
void ReturnString(CallFrame& frame, std::string_view text);
// A reference into the array [var] at element [offset] from its origin,
// sharing its storage.
void ReturnOffset(CallFrame& frame, Var* var, std::int32_t offset);
// Refers to [var] itself (a destination handed back).
void ReturnSame(CallFrame& frame, Var* var);
void ReturnFloat(CallFrame& frame, double value);
// A new array of the strings [texts], indexes from 0 (with none, an array
// without storage).
Var* NewStringArray(Context& run, std::span<const std::string> texts);

// A new integer array of [values], indexes from 0.
Var* NewIntegerArray(std::span<const std::int32_t> values);

// Stores [value] into the variable [target]: a non-array number keeps its
// kind, anything else becomes [kind] first (KEL_INT or KEL_FLOAT).
bool StoreNumber(CallFrame& frame, Var* target, double value, int kind);


}  // namespace kel
