// The OLE group: OLEInvoke drives automation servers by member name, with
// objects named by ProgID or by the handle strings that earlier calls
// returned; OLEFreeObject lets one go, and OLELastError tells why a call
// gave 0. Every object a run holds is released when it ends.

#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "base/text.h"
#include "engine/calls.h"
#include "engine/context.h"
#include "engine/macros.h"
#include "engine/messages.h"
#include "engine/value.h"
#include "library/arguments.h"
#include "library/groups.h"
#include "platform/automation.h"

namespace kel {

namespace {

constexpr std::int32_t DISPATCH_METHOD = 1, DISPATCH_PROPERTYGET = 2, DISPATCH_PROPERTYPUT = 4;
constexpr const char* kHandlePrefix = "__KEL__OLE_OBJECT__";

// Numbers the objects calls return, across every run of the process; 0 is
// left out, as it marks the objects opened by ProgID.
std::uint32_t sequenceCounter = 0;

std::uint32_t NextSequence() {
  if (++sequenceCounter == 0) sequenceCounter = 1;
  return sequenceCounter;
}

// The pointer and sequence number a handle string shows; false for any other
// text.
bool ParseHandle(const char* text, std::uint64_t& pointer, std::uint64_t& sequence) {
  char rest;
  unsigned long long p = 0, s = 0;
  const std::string format = std::string(kHandlePrefix) + "%llx %llx%c";
  if (std::sscanf(text, format.c_str(), &p, &s, &rest) != 2) return false;
  pointer = p;
  sequence = s;
  return true;
}

std::string HandleText(const void* object, std::uint32_t sequence) {
  char text[64];
  std::snprintf(text, sizeof text, "%s%llx %llx", kHandlePrefix,
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(object)),
                static_cast<unsigned long long>(sequence));
  return text;
}

// ===================================================================
// The run's objects
// ===================================================================

class OleState {
 public:
  OleState() : initialized_(platform::StartAutomation()) {}
  OleState(const OleState&) = delete;
  OleState& operator=(const OleState&) = delete;
  ~OleState() {
    while (!objects_.empty()) Free(objects_.size() - 1);
    if (initialized_) platform::EndAutomation();
  }

  bool Initialized() const { return initialized_; }
  platform::AutomationError& LastError() { return lastError_; }

  // The object a handle string names: only an object of the list, matched
  // by its pointer and its sequence number. Null when none is.
  void* FromHandle(std::uint64_t pointer, std::uint64_t sequence) const {
    const std::size_t i = FindHandle(pointer, sequence);
    return i == kNone ? nullptr : objects_[i].object;
  }

  // The object of [progId], opened on first use and kept for the run; null
  // (with the last error set) when it cannot be opened.
  void* FromProgId(const std::string& progId) {
    const std::size_t i = FindProgId(progId);
    if (i != kNone) return objects_[i].object;
    void* object = platform::OpenAutomationObject(progId, lastError_);
    if (object != nullptr) objects_.push_back({progId, true, object, 0});
    return object;
  }

  // Keeps an object a call returned; its handle string.
  std::string Adopt(void* object) {
    const std::uint32_t sequence = NextSequence();
    objects_.push_back({{}, false, object, sequence});
    return HandleText(object, sequence);
  }

  // Releases the object named by [text] (a handle string or a ProgID); false
  // when the run holds no such object.
  bool Release(const char* text) {
    std::uint64_t pointer, sequence;
    const std::size_t i = ParseHandle(text, pointer, sequence) ? FindHandle(pointer, sequence) : FindProgId(text);
    if (i == kNone) return false;
    Free(i);
    return true;
  }

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  struct Entry {
    std::string progId;
    bool byProgId;
    void* object;  // one reference, the entry's
    std::uint32_t sequence;
  };

  std::size_t FindHandle(std::uint64_t pointer, std::uint64_t sequence) const {
    for (std::size_t i = objects_.size(); i-- > 0;) {
      const Entry& entry = objects_[i];
      if (entry.sequence == sequence && reinterpret_cast<std::uintptr_t>(entry.object) == pointer) return i;
    }
    return kNone;
  }
  std::size_t FindProgId(std::string_view progId) const {
    for (std::size_t i = objects_.size(); i-- > 0;) {
      if (objects_[i].byProgId && EqualsIgnoreCase(objects_[i].progId, progId)) return i;
    }
    return kNone;
  }
  void Free(std::size_t i) {
    platform::ReleaseAutomationObject(objects_[i].object);
    objects_.erase(objects_.begin() + static_cast<std::ptrdiff_t>(i));
  }

  bool initialized_;
  std::vector<Entry> objects_;  // oldest first
  platform::AutomationError lastError_;
};

void* StartOle(Context&, void*) { return new OleState; }

void EndOle(Context&, void* state) { delete static_cast<OleState*>(state); }

void OleConstants(MacroTable& macros) {
  macros.Define("DISPATCH_METHOD", static_cast<long>(DISPATCH_METHOD));
  macros.Define("DISPATCH_PROPERTYGET", static_cast<long>(DISPATCH_PROPERTYGET));
  macros.Define("DISPATCH_PROPERTYPUT", static_cast<long>(DISPATCH_PROPERTYPUT));
}

OleState* StateOf(CallFrame& frame) {
  auto* state = static_cast<OleState*>(frame.libraryData);
  if (state != nullptr && state->Initialized()) return state;
  RaiseError(*frame.run, MSG_6150);
  return nullptr;
}

// ===================================================================
// Values
// ===================================================================

// Argument [i] as the value a member receives; false after raising its error.
bool ToAutomation(CallFrame& frame, OleState& state, int i, platform::AutomationValue& value) {
  Var* var = Argument(frame, i);
  if (var == nullptr) return false;
  const int depth = Arrayness(var);
  if (depth == 0 && KindOf(var) == KEL_STRUCT) return RaiseError(*frame.run, MSG_6155);
  if (depth == 1 && KindOf(var) == KEL_BYTE) {
    const char* text = GetString(frame, i);
    if (text == nullptr) return false;
    std::uint64_t pointer, sequence;
    if (ParseHandle(text, pointer, sequence)) {
      value.kind = platform::AutomationValue::OBJECT;
      value.object = state.FromHandle(pointer, sequence);
      return value.object != nullptr || RaiseError(*frame.run, MSG_6156);
    }
    value.kind = platform::AutomationValue::TEXT;
    value.text = text;
    return true;
  }
  if (depth != 0) return RaiseError(*frame.run, MSG_6153);
  if (!IsNumericScalar(var)) return RaiseError(*frame.run, MSG_6154);
  const Scalar number = GetScalar(var);
  if (number.type == KEL_FLOAT) {
    value.kind = platform::AutomationValue::REAL;
    value.real = number.floatValue;
  } else {
    value.kind = platform::AutomationValue::INTEGER;
    value.integer = ScalarToInt(number);
  }
  return true;
}

void ReturnAutomation(CallFrame& frame, OleState& state, const platform::AutomationValue& value) {
  switch (value.kind) {
    case platform::AutomationValue::INTEGER: ReturnInt(frame, value.integer); break;
    case platform::AutomationValue::REAL: ReturnFloat(frame, value.real); break;
    case platform::AutomationValue::TEXT: ReturnString(frame, value.text); break;
    case platform::AutomationValue::OBJECT: ReturnString(frame, state.Adopt(value.object)); break;
  }
}

// ===================================================================
// Handlers
// ===================================================================

// OLEInvoke(object, member, flag, arguments...): the member's result, 0
// when the server could not be reached or the call failed.
void Ole_OLEInvoke(CallFrame& frame) {
  const char* objectName = GetString(frame, 0);
  const char* member = objectName != nullptr ? GetString(frame, 1) : nullptr;
  std::int32_t flag;
  if (member == nullptr || !GetInteger(frame, 2, flag)) return;
  ReturnInt(frame, -1);
  OleState* state = StateOf(frame);
  if (state == nullptr) return;
  if (flag != DISPATCH_METHOD && flag != DISPATCH_PROPERTYGET && flag != DISPATCH_PROPERTYPUT) {
    RaiseError(*frame.run, MSG_6151);
    return;
  }
  ReturnInt(frame, 0);
  std::uint64_t pointer, sequence;
  void* object;
  if (ParseHandle(objectName, pointer, sequence)) {
    object = state->FromHandle(pointer, sequence);
    if (object == nullptr) {
      RaiseError(*frame.run, MSG_6156);
      return;
    }
  } else {
    object = state->FromProgId(objectName);
    if (object == nullptr) return;
  }
  if (flag == DISPATCH_PROPERTYPUT && frame.argCount < 4) {
    ReturnInt(frame, -1);
    RaiseError(*frame.run, MSG_6152);
    return;
  }
  std::vector<platform::AutomationValue> arguments(static_cast<std::size_t>(frame.argCount - 3));
  for (int i = 3; i < frame.argCount; ++i) {
    if (!ToAutomation(frame, *state, i, arguments[static_cast<std::size_t>(i - 3)])) return;
  }
  platform::AutomationValue result;
  platform::InvokeAutomation(object, member, flag, arguments, result, state->LastError());
  ReturnAutomation(frame, *state, result);
}

// OLEFreeObject(object): releases an object by its handle string or ProgID.
void Ole_OLEFreeObject(CallFrame& frame) {
  const char* objectName = GetString(frame, 0);
  if (objectName == nullptr) return;
  OleState* state = StateOf(frame);
  if (state != nullptr && !state->Release(objectName)) RaiseError(*frame.run, MSG_6156);
}

// OLELastError(): the status of the run's last automation call that failed
// to open its object, find its member or complete (0 after one that
// worked), as .code, and the server's description of its error as .text.
void Ole_OLELastError(CallFrame& frame) {
  OleState* state = StateOf(frame);
  if (state == nullptr) return;
  Var* result = NewVar(KEL_STRUCT);
  SetMemberInt(*frame.run, result, "code", state->LastError().code);
  SetMemberString(*frame.run, result, "text", state->LastError().text);
  SetReturn(frame, result, ReturnKind::HANDED_OVER);
}

constexpr LibraryEntry kOleRows[] = {
    {"OLEInvoke",     Ole_OLEInvoke,     3, ARGS_ANY},
    {"OLEFreeObject", Ole_OLEFreeObject, 1, 1},
    {"OLELastError",  Ole_OLELastError,  0, 0},
};

}  // namespace

const LibraryGroup kOleGroup{GROUP_OLE, kOleRows, StartOle, EndOle, OleConstants};

}  // namespace kel
