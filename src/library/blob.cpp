// Data and binary blocks: BLObs (byte arrays used as raw blocks) written and
// read through data descriptions, process memory, and the functions that
// inspect and reshape values.

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/memory.h"
#include "engine/calls.h"
#include "engine/context.h"
#include "engine/macros.h"
#include "engine/messages.h"
#include "engine/operand.h"
#include "engine/scope.h"
#include "engine/value.h"
#include "library/arguments.h"
#include "library/data.h"
#include "library/groups.h"
#include "library/process.h"
#include "platform/memory_access.h"

namespace kel {

namespace {

using VarHolder = std::unique_ptr<Var, void (*)(Var*)>;

VarHolder Hold(Var* var) { return VarHolder(var, ReleaseVar); }

// ===================================================================
// BLObs
// ===================================================================

// A blob argument: an undefined value becomes an empty byte array; anything
// else must be a byte array.
Var* GetBlob(CallFrame& frame, int i) {
  Var* blob = GetParameter(frame, i, PARAM_ANY);
  if (blob == nullptr) return nullptr;
  if (Arrayness(blob) == 0 && !IsDefined(blob)) {
    if (!SetTypeAndDims(*frame.run, blob, KEL_BYTE, 1)) return nullptr;
    ReleaseElements(ResolveArray(blob).data);
    return blob;
  }
  return CheckValue(frame, blob, PARAM_BUFFER) ? blob : nullptr;
}

// The bytes of one record on their way between a value and a blob.
// OPTIMIZATION: a record of common size stays on the stack.
class RecordArea {
 public:
  // Zeroed, as a record a value does not fill is.
  explicit RecordArea(std::uint32_t size) {
    if (size > sizeof small_) {
      large_.resize(size);
      bytes_ = large_.data();
    } else {
      std::memset(small_, 0, size);
    }
  }
  RecordArea(const RecordArea&) = delete;
  RecordArea& operator=(const RecordArea&) = delete;
  std::uint8_t* bytes() { return bytes_; }

 private:
  std::uint8_t small_[256];
  std::vector<std::uint8_t> large_;
  std::uint8_t* bytes_ = small_;
};

// The blob's length: its highest index plus one, from its origin.
std::int32_t BlobLength(Var* blob) {
  ArrayRef array = ResolveArray(blob);
  if (array.data->payload.elements == nullptr) return 0;
  std::int64_t highest = static_cast<std::int64_t>(array.data->minIndex) + array.data->elemCount - 1 - array.origin;
  return highest < 0 ? 0 : static_cast<std::int32_t>(highest + 1);
}

// BLObPut(blob, [offset,] value, description): writes the value's bytes at the
// offset (the blob's end without one); returns the offset after them.
void Data_BLObPut(CallFrame& frame) {
  Var* blob = GetBlob(frame, 0);
  if (blob == nullptr) return;
  const int valueAt = frame.argCount == 4 ? 2 : 1;
  std::int32_t offset = BlobLength(blob);
  if (frame.argCount == 4 && !GetInteger(frame, 1, offset)) return;
  Var* value = GetParameter(frame, valueAt, PARAM_ANY);
  Var* description = value != nullptr ? GetParameter(frame, valueAt + 1, PARAM_ANY) : nullptr;
  std::uint32_t size = 0;
  if (description == nullptr || !DescriptionSize(frame, description, size)) return;
  // A blob ends below 2 GB (its end is a 32-bit offset), as any array does.
  if (static_cast<std::int64_t>(offset) + size > static_cast<std::int64_t>(kMaxArrayBytes)) FatalError(MSG_0003);
  RecordArea area(size);
  if (!WriteValue(frame, value, description, area.bytes(), size)) return;
  if (size > 0) {
    ArrayRef array = ResolveArray(blob);
    EnsureSpan(array.data, array.origin + offset, size, false);
    ForgetTextEnd(array.data);
    std::memcpy(ElementPointer(array.data, array.origin + offset), area.bytes(), size);
  }
  ReturnInt(frame, offset + static_cast<std::int32_t>(size));
}

// BLObGet(blob, offset, description): a new value read from the bytes there.
void Data_BLObGet(CallFrame& frame) {
  Var* blob = GetParameter(frame, 0, PARAM_BUFFER);
  std::int32_t offset;
  if (blob == nullptr || !GetInteger(frame, 1, offset)) return;
  Var* description = GetParameter(frame, 2, PARAM_ANY);
  std::uint32_t size = 0;
  if (description == nullptr || !DescriptionSize(frame, description, size)) return;
  ArrayRef array = ResolveArray(blob);
  std::int64_t lowest = static_cast<std::int64_t>(array.data->minIndex) - array.origin;
  std::int64_t highest = lowest + array.data->elemCount - 1;
  if (offset < lowest || static_cast<std::int64_t>(offset) + size - 1 > highest) {
    RaiseErrorIfRunning(*frame.run, MSG_5117);
    return;
  }
  const auto* bytes = size > 0 ? static_cast<const std::uint8_t*>(ElementPointer(array.data, array.origin + offset))
                               : nullptr;
  // Read from a copy: the target may be the blob itself.
  RecordArea copy(size);
  if (size > 0) std::memcpy(copy.bytes(), bytes, size);
  // (A record's structure is made at once, not made one from undefined.)
  VarHolder result = Hold(NewVar(IsStructure(description) ? KEL_STRUCT : KEL_UNKNOWN));
  if (!ReadValue(frame, copy.bytes(), size, description, result.get(), false)) return;
  SetReturn(frame, result.release(), ReturnKind::HANDED_OVER);
}

// BLObSize's usual case: the length of a byte array with storage.
bool Quick_BLObSize(Var** args, std::uint32_t count, Operand& out) {
  if (count != 1 || !PassesAtOnce(args[0], PARAM_BUFFER)) return false;
  out.SetScalar(MakeInt(BlobLength(args[0])));
  return true;
}

// BLObSize(description): its size. BLObSize(blob [, size]): its length, after
// making it exactly size bytes when a size is given.
void Data_BLObSize(CallFrame& frame) {
  Var* first = GetParameter(frame, 0, PARAM_ANY);
  if (first == nullptr) return;
  if (frame.argCount == 1 && Arrayness(first) == 0 && IsDefined(first)) {
    std::uint32_t size = 0;
    if (DescriptionSize(frame, first, size)) ReturnInt(frame, static_cast<std::int32_t>(size));
    return;
  }
  Var* blob = GetBlob(frame, 0);
  if (blob == nullptr) return;
  if (frame.argCount > 1) {
    std::int32_t size;
    if (!GetInteger(frame, 1, size)) return;
    if (size < 1) {
      RaiseErrorIfRunning(*frame.run, MSG_5100);
      return;
    }
    SetSpan(blob, 0, size - 1);
  }
  ReturnInt(frame, BlobLength(blob));
}

// ===================================================================
// Process memory
// ===================================================================

std::uint8_t* AddressOf(std::int32_t address) {
  return reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(static_cast<std::uint32_t>(address)));
}

// The description at [i], UWORD8 when absent.
Var* DescriptionOrByte(CallFrame& frame, int i, VarHolder& fallback) {
  if (frame.argCount > i) return GetParameter(frame, i, PARAM_ANY);
  fallback = Hold(NewIntVar(-1));
  return fallback.get();
}

// peek(address [, description]): an address the process cannot read is
// refused (5120), whatever else lies there is the caller's business.
void Data_peek(CallFrame& frame) {
  std::int32_t address;
  if (!GetInteger(frame, 0, address)) return;
  VarHolder fallback = Hold(nullptr);
  Var* description = DescriptionOrByte(frame, 1, fallback);
  std::uint32_t size = 0;
  if (description == nullptr || !DescriptionSize(frame, description, size)) return;
  // Not cleared first: a huge size costs only what is copied before the
  // first unreadable page.
  auto area = std::make_unique_for_overwrite<std::uint8_t[]>(size);
  if (!platform::CopyGuarded(area.get(), AddressOf(address), size)) {
    RaiseErrorIfRunning(*frame.run, MSG_5120, static_cast<unsigned>(address), "read");
    return;
  }
  VarHolder result = Hold(NewVar(KEL_UNKNOWN));
  if (!ReadValue(frame, area.get(), size, description, result.get(), false)) return;
  SetReturn(frame, result.release(), ReturnKind::HANDED_OVER);
}

void Data_poke(CallFrame& frame) {
  std::int32_t address;
  if (!GetInteger(frame, 0, address)) return;
  Var* value = GetParameter(frame, 1, PARAM_ANY);
  if (value == nullptr) return;
  VarHolder fallback = Hold(nullptr);
  Var* description = DescriptionOrByte(frame, 2, fallback);
  std::uint32_t size = 0;
  if (description == nullptr || !DescriptionSize(frame, description, size)) return;
  std::vector<std::uint8_t> area(size);
  if (!WriteValue(frame, value, description, area.data(), size)) return;
  NoteStorageWrite();  // the address may lie in any script storage
  if (!platform::CopyGuarded(AddressOf(address), area.data(), size)) {
    RaiseErrorIfRunning(*frame.run, MSG_5120, static_cast<unsigned>(address), "written");
    return;
  }
  ReturnInt(frame, static_cast<std::int32_t>(static_cast<std::uint32_t>(address) + size));
}

// pointer(value): where a number, or a one-dimensional numeric array's first
// element, lies in memory.
void Data_pointer(CallFrame& frame) {
  Var* value = GetParameter(frame, 0, PARAM_ANY);
  if (value == nullptr) return;
  const int depth = Arrayness(value);
  if (!IsNumericKind(value->data->type) || depth > 1) {
    RaiseErrorIfRunning(*frame.run, MSG_5115);
    return;
  }
  void* address;
  if (depth == 1) {
    ArrayRef array = ResolveArray(value);
    std::int32_t index = array.origin == 0 && !IsElementRef(value) ? array.data->minIndex : array.origin;
    address = ElementPointer(array.data, index);
  } else if (IsElementRef(value)) {
    address = ElementPointer(value->data, value->index);
  } else {
    address = &value->data->payload;
  }
  // A truncated address would let peek and poke reach some other storage.
  if (!AddressableBy32Bits(address)) {
    RaiseErrorIfRunning(*frame.run, MSG_5118);
    return;
  }
  ReturnInt(frame, static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(address)));
}

// ===================================================================
// Kinds and conversions
// ===================================================================

void Data_convert(CallFrame& frame) {
  Var* value = GetParameter(frame, 0, PARAM_NUMERIC);
  if (value == nullptr) return;
  const Scalar scalar = GetScalar(value);
  switch (CalledVariant(frame)) {
    case KEL_BYTE: ReturnScalar(frame, MakeByte(static_cast<std::uint8_t>(ScalarToInt(scalar)))); break;
    case KEL_INT: ReturnInt(frame, ScalarToInt(scalar)); break;
    default: ReturnFloat(frame, ScalarToFloat(scalar)); break;
  }
}

void Data_DataType(CallFrame& frame) {
  if (Var* value = GetParameter(frame, 0, PARAM_ANY)) ReturnInt(frame, value->data->type);
}

void Data_DataDimension(CallFrame& frame) {
  if (Var* value = GetParameter(frame, 0, PARAM_ANY)) ReturnInt(frame, Arrayness(value));
}

void Data_defined(CallFrame& frame) {
  if (Var* value = GetParameter(frame, 0, PARAM_ANY)) ReturnInt(frame, IsDefined(value) ? 1 : 0);
}

void Data_undefine(CallFrame& frame) {
  if (Var* value = GetParameter(frame, 0, PARAM_ANY)) UndefineVar(value);
}

// ===================================================================
// Array spans
// ===================================================================

Var* GetArray(CallFrame& frame, int i) {
  Var* array = GetParameter(frame, i, PARAM_ANY);
  if (array == nullptr) return nullptr;
  if (Arrayness(array) > 0) return array;
  CheckValue(frame, array, PARAM_ARRAY);
  return nullptr;
}

// GetArraySpan(array [, variable]): the highest index; the variable receives
// the lowest.
void Data_GetArraySpan(CallFrame& frame) {
  Var* array = GetArray(frame, 0);
  if (array == nullptr) return;
  std::int32_t lowest = 0, highest = -1;
  if (ResolveArray(array).data->payload.elements != nullptr) GetSpan(array, lowest, highest);
  if (frame.argCount > 1) {
    Var* target = GetParameter(frame, 1, PARAM_ANY);
    if (target == nullptr || !StoreNumber(frame, target, lowest, KEL_INT)) return;
  }
  ReturnInt(frame, highest);
}

// SetArraySpan(array, [minimum,] maximum)
void Data_SetArraySpan(CallFrame& frame) {
  Var* array = GetArray(frame, 0);
  if (array == nullptr) return;
  std::int32_t minimum = 0, maximum;
  if (frame.argCount == 3 && !GetInteger(frame, 1, minimum)) return;
  if (!GetInteger(frame, frame.argCount - 1, maximum)) return;
  if (maximum < 0) {
    RaiseErrorIfRunning(*frame.run, MSG_5100);
    return;
  }
  if (minimum > 0) {
    RaiseErrorIfRunning(*frame.run, MSG_5101);
    return;
  }
  SetSpan(array, minimum, maximum);
}

// ===================================================================
// Structures and calls by name
// ===================================================================

// An array of the member names; only the defined members unless [all].
void Data_GetStructureMembers(CallFrame& frame) {
  Var* value = GetParameter(frame, 0, PARAM_ANY);
  if (value == nullptr) return;
  bool all = false;
  if (frame.argCount > 1) {
    Var* flag = GetParameter(frame, 1, PARAM_ANY);
    if (flag == nullptr) return;
    int truth = TruthValue(*frame.run, flag);
    if (truth < 0) return;
    all = truth != 0;
  }
  std::vector<std::string> names;
  if (IsStructure(value)) {
    for (MemberNode* node = MembersOf(value)->head; node != nullptr; node = node->next) {
      if (all || IsDefined(node->var)) names.emplace_back(node->name);
    }
  }
  SetReturn(frame, NewStringArray(*frame.run, names), ReturnKind::HANDED_OVER);
}

void Data_StructureMember(CallFrame& frame) {
  Var* structure = GetParameter(frame, 0, PARAM_ANY);
  if (structure == nullptr) return;
  if (Arrayness(structure) == 0 && !IsDefined(structure) &&
      !SetTypeAndDims(*frame.run, structure, KEL_STRUCT, 0)) {
    return;
  }
  if (!CheckValue(frame, structure, PARAM_STRUCT)) return;
  const char* name = GetString(frame, 1);
  if (name == nullptr) return;
  SetReturn(frame, FindMemberText(structure, name, true), ReturnKind::BY_REFERENCE);
}

// StructureMember's usual case: a structure and a text, whose member (made
// when missing) is the result by reference, as the handler gives it.
bool Quick_StructureMember(Var** args, std::uint32_t, Operand& out) {
  if (!IsStructure(args[0])) return false;
  TextPlace place;
  const char* name = PlainText(args[1], place);
  if (name == nullptr) return false;
  Var* member = FindMemberOfStorage(args[0], name, place.storage, place.room, true);
  if (member == nullptr) return false;
  out.SetHeld(member);
  return true;
}

// function(name, arguments...): calls the named function with the other
// arguments; the result is a copy.
void Data_function(CallFrame& frame) {
  const char* name = GetString(frame, 0);
  if (name == nullptr) return;
  FunctionRecord* function = FindFunction(*frame.run, name, true);
  if (function == nullptr) return;
  Operand result;
  if (!CallFunction(*frame.run, &frame, function, frame.args + 1, frame.argCount - 1, result)) return;
  if (!result.IsDefined()) return;
  if (result.var() == nullptr) {
    ReturnScalar(frame, result.scalar());
  } else if (Var* copy = CopyToFreshVar(*frame.run, result)) {
    SetReturn(frame, copy, ReturnKind::HANDED_OVER);
  }
}

// ===================================================================
// The group
// ===================================================================

// The data group's start: the global _BigEndianMode, 0 (least significant
// byte first).
void* StartData(Context& run, void*) {
  Var* mode = run.globals->LookupHere("_BigEndianMode");
  if (mode == nullptr) mode = run.globals->Create("_BigEndianMode");
  if (SetTypeAndDims(run, mode, KEL_INT, 0)) SetInt(mode, 0);
  return nullptr;
}

void DataConstants(MacroTable& macros) {
  static const char* const kTypes[] = {"UWORD8", "SWORD8",  "UWORD16", "SWORD16", "UWORD24", "SWORD24",
                                       "UWORD32", "SWORD32", "FLOAT32", "FLOAT64", "FLOAT80"};
  for (long i = 0; i < 11; ++i) macros.Define(kTypes[i], -1 - i);
  macros.Define("KEL_UNKNOWN", 0L);
  macros.Define("KEL_STRUCT", 1L);
  macros.Define("KEL_BYTE", 2L);
  macros.Define("KEL_INT", 3L);
  macros.Define("KEL_FLOAT", 4L);
  macros.Define("BIG_ENDIAN", 0L);
  macros.Define("FATTR_RDONLY", 1L);
  macros.Define("FATTR_HIDDEN", 2L);
  macros.Define("FATTR_SYSTEM", 4L);
  macros.Define("FATTR_SUBDIR", 16L);
  macros.Define("FATTR_ARCHIVE", 32L);
  macros.Define("FATTR_NORMAL", 0L);
  macros.Define("VERSION_MAJOR", 2L);
  macros.Define("VERSION_MINOR", 11L);
  macros.Define("VERSION_STRING", std::string_view("\"Community\""));
  macros.Define("INTERP_FILE", long{INTERP_FILE});
  macros.Define("INTERP_TEXT", long{INTERP_TEXT});
  macros.Define("INTERP_LOAD", long{INTERP_LOAD});
  macros.Define("INTERP_NOINHERIT_LOCAL", long{INTERP_NOINHERIT_LOCAL});
  macros.Define("INTERP_NOINHERIT_GLOBAL", long{INTERP_NOINHERIT_GLOBAL});
  macros.Define("P_WAIT", long{P_WAIT});
  macros.Define("P_NOWAIT", long{P_NOWAIT});
  macros.Define("P_OVERLAY", long{P_OVERLAY});
}

constexpr LibraryEntry kDataRows[] = {
    {"peek",                Data_peek,                1, 2},
    {"pointer",             Data_pointer,             1, 1},
    {"poke",                Data_poke,                2, 3},
    {"BLObGet",             Data_BLObGet,             3, 3},
    {"BLObPut",             Data_BLObPut,             3, 4},
    {"BLObSize",            Data_BLObSize,            1, 2, 0, 0, Quick_BLObSize},
    {"byte",                Data_convert,             1, 1, KEL_BYTE},
    {"DataDimension",       Data_DataDimension,       1, 1},
    {"DataType",            Data_DataType,            1, 1},
    {"defined",             Data_defined,             1, 1},
    {"GetStructureMembers", Data_GetStructureMembers, 1, 2},
    {"StructureMember",     Data_StructureMember,     2, 2, 0, 0x2, Quick_StructureMember},
    {"float",               Data_convert,             1, 1, KEL_FLOAT},
    {"function",            Data_function,            1, ARGS_ANY},
    {"GetArraySpan",        Data_GetArraySpan,        1, 2},
    {"integer",             Data_convert,             1, 1, KEL_INT},
    {"SetArraySpan",        Data_SetArraySpan,        2, 3},
    {"undefine",            Data_undefine,            1, 1},
};

}  // namespace

const LibraryGroup kDataGroup{GROUP_DATA, kDataRows, StartData, nullptr, DataConstants, ProcessRows()};

}  // namespace kel
