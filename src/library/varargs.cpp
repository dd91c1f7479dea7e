// Variable arguments: a va_list is a byte array of 8 bytes naming a call of a
// script function (by the call's number in its run) and the index of the
// next argument; it is trusted only while that call is running.

#include <cstring>

#include "engine/calls.h"
#include "engine/context.h"
#include "engine/messages.h"
#include "engine/value.h"
#include "library/format.h"
#include "library/groups.h"

namespace kel {

namespace {

// The script function that called the built-in.
CallFrame& CurrentCall(CallFrame& frame) { return frame.caller != nullptr ? *frame.caller : frame; }

void WriteList(Var* list, std::uint32_t serial, std::int32_t index) {
  char bytes[8];
  std::memcpy(bytes, &serial, 4);
  std::memcpy(bytes + 4, &index, 4);
  StoreBytes(list, bytes, 8, false);
}

bool NotInList(CallFrame& frame) {
  return RaiseErrorIfRunning(*frame.run, MSG_5109);
}

// Returns argument [index] of [call] itself, not a copy.
void ReturnArgument(CallFrame& frame, CallFrame& call, std::int32_t index) {
  if (index < 0 || index >= call.argCount) {
    NotInList(frame);
    return;
  }
  SetReturn(frame, call.args[index], ReturnKind::BY_REFERENCE);
}

// va_start(list [, last]): the list starts at the first argument, or after
// the argument that is the variable [last] itself.
void Varargs_va_start(CallFrame& frame) {
  Var* list = GetParameter(frame, 0, PARAM_ANY);
  if (list == nullptr) return;
  CallFrame& call = CurrentCall(frame);
  std::int32_t start = 0;
  if (frame.argCount > 1) {
    Var* last = frame.args[1];
    start = -1;
    for (std::int32_t i = 0; i < call.argCount; ++i) {
      if (call.args[i] == last) {
        start = i + 1;
        break;
      }
    }
    if (start < 0) {
      NotInList(frame);
      return;
    }
  }
  if (!SetTypeAndDims(*frame.run, list, KEL_BYTE, 1)) return;
  WriteList(list, call.serial, start);
  ReturnInt(frame, call.argCount - start);
}

// va_arg(): the number of arguments; va_arg(list): the next one (the list
// moves on), or argument n of the call when [list] is the number n;
// va_arg(list, n): the one n places on, the list staying where it is.
void Varargs_va_arg(CallFrame& frame) {
  CallFrame& current = CurrentCall(frame);
  if (frame.argCount == 0) {
    ReturnInt(frame, current.argCount);
    return;
  }
  Var* list = frame.args[0];
  std::int32_t index = 0;
  CallFrame* call = ResolveVaList(frame, list, index);
  if (frame.argCount == 1) {
    if (call != nullptr) {
      ArrayRef array = ResolveArray(list);
      std::int32_t next = index + 1;
      ForgetTextEnd(array.data);
      std::memcpy(static_cast<char*>(ElementPointer(array.data, array.origin)) + 4, &next, 4);
      ReturnArgument(frame, *call, index);
    } else if (IsNumericScalar(list)) {
      ReturnArgument(frame, current, GetInt(list));
    } else {
      RaiseErrorIfRunning(*frame.run, MSG_5108);
    }
    return;
  }
  Var* offset = GetParameter(frame, 1, PARAM_NUMERIC);
  if (offset == nullptr) return;
  if (call == nullptr) {
    RaiseErrorIfRunning(*frame.run, MSG_5108);
    return;
  }
  ReturnArgument(frame, *call, index + GetInt(offset));
}

void Varargs_va_end(CallFrame& frame) {
  Var* list = GetParameter(frame, 0, PARAM_ANY);
  if (list == nullptr) return;
  std::int32_t index;
  if (ResolveVaList(frame, list, index) == nullptr) {
    RaiseErrorIfRunning(*frame.run, MSG_5108);
    return;
  }
  UndefineVar(list);
}

constexpr LibraryEntry kVarargsRows[] = {
    {"va_start", Varargs_va_start, 1, 2},
    {"va_arg",   Varargs_va_arg,   0, 2},
    {"va_end",   Varargs_va_end,   1, 1},
};

}  // namespace

const LibraryGroup kVarargsGroup{GROUP_VARARGS, kVarargsRows, nullptr, nullptr, nullptr};

}  // namespace kel
