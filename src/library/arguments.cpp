// Shared conventions of the C library handlers.

#include "library/arguments.h"

#include "engine/calls.h"
#include "engine/context.h"
#include "engine/value.h"
#include "library/tables.h"

namespace kel {

bool GetInteger(CallFrame& frame, int i, std::int32_t& value) {
  Var* var = GetParameter(frame, i, PARAM_NUMERIC);
  if (var == nullptr) return false;
  value = GetInt(var);
  return true;
}

bool GetDouble(CallFrame& frame, int i, double& value) {
  Var* var = GetParameter(frame, i, PARAM_NUMERIC);
  if (var == nullptr) return false;
  value = GetFloat(var);
  return true;
}

const char* PlainText(Var* var, TextPlace& place) {
  VarData* data = var->data;
  // OPTIMIZATION: a string of its own or a row of a string array, ending in
  // its NUL and holding its origin, the usual text argument, is taken as it
  // stands: one test of each field. One marked as text already stays so; a
  // byte array in no other array (a record's text) is marked here.
  if (data->type == KEL_BYTE && data->dimension == 1 && !(var->flags & VAR_ELEMENT)) {
    const auto offset = static_cast<std::uint32_t>(var->index) - static_cast<std::uint32_t>(data->minIndex);
    const auto* bytes = static_cast<const char*>(data->payload.elements);
    if (bytes != nullptr && offset < data->elemCount && bytes[data->elemCount - 1] == '\0' &&
        var->index >= data->minIndex &&
        (data->isString ? !HasMixedTextAbove(data) : data->containers == nullptr && data->rows == nullptr)) {
      if (!data->isString) {
        data->isString = 1;
        data->mixedText = 0;
      }
      place = TextPlace{data, data->elemCount - offset};
      return bytes + offset;
    }
  }
  if (data->type != KEL_BYTE || Arrayness(var) != 1) return nullptr;
  const ArrayRef array = ResolveArray(var);
  if (array.data->payload.elements == nullptr) return nullptr;
  MarkString(array.data);
  const char* text = static_cast<const char*>(ElementPointer(array.data, array.origin));
  const auto offset = static_cast<std::uint32_t>(array.origin) - static_cast<std::uint32_t>(array.data->minIndex);
  // (no room known: the member search then measures the text)
  place = TextPlace{array.data, offset < array.data->elemCount ? array.data->elemCount - offset : 0};
  return text;
}

const char* PlainText(Var* var) {
  TextPlace place;
  return PlainText(var, place);
}

const char* GetString(CallFrame& frame, int i) {
  // OPTIMIZATION: a text argument, the usual case, passes its check here.
  if (i < frame.argCount) {
    if (const char* text = PlainText(frame.args[i])) return text;
  }
  Var* var = GetParameter(frame, i, PARAM_STRING);
  return var != nullptr ? static_cast<const char*>(ElementAddress(var, 0)) : nullptr;
}

Buffer BufferOf(Var* var) {
  ArrayRef array = ResolveArray(var);
  std::int64_t length = static_cast<std::int64_t>(array.data->minIndex) + array.data->elemCount - array.origin;
  if (length <= 0) return Buffer{var, nullptr, 0};
  auto* bytes = static_cast<std::uint8_t*>(ElementPointer(array.data, array.origin));
  return Buffer{var, bytes, static_cast<std::uint32_t>(length)};
}

bool GetBuffer(CallFrame& frame, int i, Buffer& buffer) {
  Var* var = GetParameter(frame, i, PARAM_BUFFER);
  if (var == nullptr) return false;
  buffer = BufferOf(var);
  return true;
}

Var* GetDestination(CallFrame& frame, int i, bool asText) {
  Var* var = GetParameter(frame, i, PARAM_ANY);
  if (var == nullptr || !SetTypeAndDims(*frame.run, var, KEL_BYTE, 1)) return nullptr;
  if (asText) MarkString(ResolveArray(var).data);
  return var;
}

void ReturnString(CallFrame& frame, std::string_view text) {
  SetReturn(frame, NewByteArrayVar(text.data(), static_cast<std::uint32_t>(text.size()), true),
            ReturnKind::HANDED_OVER);
}

void ReturnOffset(CallFrame& frame, Var* var, std::int32_t offset) {
  ArrayRef array = ResolveArray(var);
  SetReturn(frame, NewVarOn(array.data, array.origin + offset, 0), ReturnKind::HANDED_OVER);
}

void ReturnSame(CallFrame& frame, Var* var) { SetReturn(frame, var, ReturnKind::BY_REFERENCE); }

void ReturnFloat(CallFrame& frame, double value) { ReturnScalar(frame, MakeFloat(value)); }

Var* NewStringArray(Context& run, std::span<const std::string> texts) {
  Var* array = NewVar(KEL_BYTE, 2);
  ReleaseElements(array->data);
  for (std::size_t i = 0; i < texts.size(); ++i) {
    Var* text = NewByteArrayVar(texts[i].data(), static_cast<std::uint32_t>(texts[i].size()), true);
    Var* slot = ElementRef(array, static_cast<std::int32_t>(i));
    static_cast<void>(AssignStringLiteral(run, slot, text));  // a row of a text array always takes text
    ReleaseVar(slot);
    ReleaseVar(text);
  }
  return array;
}

Var* NewIntegerArray(std::span<const std::int32_t> values) {
  Var* array = NewVar(KEL_INT, 1);
  for (std::size_t i = 0; i < values.size(); ++i) {
    Var* slot = ElementRef(array, static_cast<std::int32_t>(i));
    if (slot == nullptr) break;
    SetInt(slot, values[i]);
    ReleaseVar(slot);
  }
  return array;
}

bool StoreNumber(CallFrame& frame, Var* target, double value, int kind) {
  if (!IsNumericScalar(target) && !SetTypeAndDims(*frame.run, target, kind, 0)) return false;
  if (kind == KEL_FLOAT) {
    SetFloat(target, value);
  } else {
    SetInt(target, FloatToInt(value));
  }
  return true;
}


}  // namespace kel
