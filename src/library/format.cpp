// The printf and scanf engines.

#include "library/format.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/c_long.h"
#include "engine/calls.h"
#include "engine/context.h"
#include "engine/messages.h"
#include "engine/value.h"
#include "library/decimal.h"
#include "library/tables.h"

namespace kel {

// ===================================================================
// Argument sources
// ===================================================================

Var* PositionalArguments::Next(int mode) { return GetParameter(frame_, next_++, mode); }

CallFrame* ResolveVaList(CallFrame& frame, Var* list, int& index) {
  if (Arrayness(list) != 1 || list->data->type != KEL_BYTE) return nullptr;
  ArrayRef array = ResolveArray(list);
  if (array.data->payload.elements == nullptr) return nullptr;
  std::int64_t available = static_cast<std::int64_t>(array.data->minIndex) + array.data->elemCount - array.origin;
  if (array.origin < array.data->minIndex || available < 8) return nullptr;
  std::uint32_t serial;
  std::int32_t at;
  const auto* bytes = static_cast<const std::uint8_t*>(ElementPointer(array.data, array.origin));
  std::memcpy(&serial, bytes, 4);
  std::memcpy(&at, bytes + 4, 4);
  // A va_list is trusted only while the call it names is still running.
  for (CallFrame* call = frame.caller; call != nullptr; call = call->caller) {
    if (call->serial == serial) {
      index = at;
      return call;
    }
  }
  return nullptr;
}

bool VaListArguments::Open(Var* list) {
  call_ = ResolveVaList(frame_, list, next_);
  if (call_ == nullptr) {
    return RaiseErrorIfRunning(*frame_.run, MSG_5108);
  }
  return true;
}

Var* VaListArguments::Next(int mode) {
  if (next_ < 0 || next_ >= call_->argCount) {
    RaiseErrorIfRunning(*frame_.run, MSG_5109);
    return nullptr;
  }
  Var* var = call_->args[next_++];
  return CheckValue(frame_, var, mode) ? var : nullptr;
}

// ===================================================================
// printf
// ===================================================================

namespace {

template <typename Value>
void AppendFormatted(std::string& out, const std::string& directive, Value value) {
  int length = std::snprintf(nullptr, 0, directive.c_str(), value);
  if (length <= 0) return;
  std::size_t at = out.size();
  out.resize(at + static_cast<std::size_t>(length) + 1);
  std::snprintf(&out[at], static_cast<std::size_t>(length) + 1, directive.c_str(), value);
  out.resize(at + static_cast<std::size_t>(length));
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A width or precision given as "*": the next argument, as an integer.
bool StarValue(ArgumentSource& args, std::int32_t& value) {
  Var* var = args.Next(PARAM_NUMERIC);
  if (var == nullptr) return false;
  value = GetInt(var);
  return true;
}

// OPTIMIZATION: the plainest directives ("%d", "%i", "%u", "%x", "%X", "%c",
// "%s" with no flag, width or precision) are written without the C
// formatter; they produce exactly what it would.
void AppendUnsigned(std::string& out, std::uint32_t value, unsigned base, bool upper) {
  // The digits are made from the end backwards, then appended at once.
  char digits[32];
  char* first = digits + sizeof digits;
  if (base == 10) {  // (the commonest, with a divisor the compiler knows)
    do {
      *--first = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
  } else {
    const char* symbols = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    do {
      *--first = symbols[value % base];
      value /= base;
    } while (value != 0);
  }
  out.append(first, static_cast<std::size_t>(digits + sizeof digits - first));
}

bool PlainDirective(const char*& format, ArgumentSource& args, std::string& out, bool& handled) {
  handled = false;
  const char type = *format;
  switch (type) {
    case 'd': case 'i': case 'u': case 'x': case 'X': case 'c': case 's': break;
    default: return true;
  }
  handled = true;
  ++format;
  if (type == 's') {
    Var* value = args.Next(PARAM_STRING);
    if (value == nullptr) return false;
    out += static_cast<const char*>(ElementAddress(value, 0));
    return true;
  }
  Var* value = args.Next(PARAM_NUMERIC);
  if (value == nullptr) return false;
  const std::int32_t number = GetInt(value);
  switch (type) {
    case 'c': out += static_cast<char>(GetByte(value)); break;
    case 'u': AppendUnsigned(out, static_cast<std::uint32_t>(number), 10, false); break;
    case 'x': AppendUnsigned(out, static_cast<std::uint32_t>(number), 16, false); break;
    case 'X': AppendUnsigned(out, static_cast<std::uint32_t>(number), 16, true); break;
    default:
      if (number < 0) out += '-';
      AppendUnsigned(out, number < 0 ? 0u - static_cast<std::uint32_t>(number) : static_cast<std::uint32_t>(number), 10,
                     false);
      break;
  }
  return true;
}

// "%f" with at most a width and a precision: through the fixed-point writer.
bool PlainFixed(std::string& out, const std::string& directive, double value) {
  std::size_t at = 1;
  if (at < directive.size() && directive[at] == '0') return false;  // zero padding
  std::size_t width = 0;
  while (at < directive.size() && IsDigit(directive[at])) width = width * 10 + static_cast<std::size_t>(directive[at++] - '0');
  int precision = 6;
  if (at < directive.size()) {
    if (directive[at++] != '.') return false;  // a flag
    precision = 0;
    while (at < directive.size() && precision < 100) precision = precision * 10 + (directive[at++] - '0');
  }
  const std::size_t start = out.size();
  if (width > 4096 || !AppendFixed(out, value, precision)) return false;
  const std::size_t length = out.size() - start;
  if (length < width) out.insert(start, width - length, ' ');
  return true;
}

// The widest field, and the longest precision, a directive may ask for: more
// is an error at once instead of minutes of output nobody wanted.
constexpr std::int64_t kMaxFieldWidth = 1 << 20;

// The decimal digits at [at], which it passes; their value, held at [cap] so
// that no run of digits overflows.
std::int64_t ReadDigits(const char*& at, std::int64_t cap) {
  std::int64_t value = 0;
  while (IsDigit(*at)) value = std::min<std::int64_t>(value * 10 + (*at++ - '0'), cap);
  return value;
}

// The decimal digits at [format], copied to [directive]; their value, held
// at a bound above any field allowed.
std::int64_t DigitsValue(const char*& format, std::string& directive) {
  const char* start = format;
  const std::int64_t value = ReadDigits(format, std::int64_t{1} << 40);
  directive.append(start, format);
  return value;
}

// One directive starting after its "%" at [format]; advances [format] past it.
bool FormatDirective(CallFrame& frame, const char*& format, ArgumentSource& args, std::string& out) {
  std::string directive = "%";
  while (*format != '\0' && std::strchr("+- #", *format) != nullptr) directive += *format++;
  std::int64_t width = 0;
  if (*format == '*') {
    std::int32_t star;
    if (!StarValue(args, star)) return false;
    width = star;
    directive += std::to_string(star);
    ++format;
  } else {
    width = DigitsValue(format, directive);
  }
  std::int64_t precision = 0;
  if (*format == '.') {
    ++format;
    if (*format == '*') {
      std::int32_t star;
      if (!StarValue(args, star)) return false;
      if (star >= 0) directive += "." + std::to_string(star);  // a negative one is as if absent
      precision = star;
      ++format;
    } else {
      directive += '.';
      precision = DigitsValue(format, directive);
    }
  }
  const char type = *format;
  // A precision only shortens a text; anywhere else, like a width, it is
  // output that must be made.
  const std::int64_t field = std::max(width < 0 ? -width : width, type == 's' ? 0 : precision);
  if (field > kMaxFieldWidth) {
    return RaiseErrorIfRunning(*frame.run, MSG_5119, static_cast<std::int32_t>(std::min<std::int64_t>(field, INT32_MAX)));
  }
  switch (type) {
    case 'd': case 'i': case 'o': case 'u': case 'x': case 'X': {
      Var* value = args.Next(PARAM_NUMERIC);
      if (value == nullptr) return false;
      // A script integer is a 32-bit long: the unsigned forms show 32 bits
      // even where the C library's long is wider.
      const std::int32_t integer = GetInt(value);
      if (type == 'd' || type == 'i') {
        AppendFormatted(out, directive + 'l' + type, static_cast<long>(integer));
      } else {
        AppendFormatted(out, directive + 'l' + type, static_cast<unsigned long>(static_cast<std::uint32_t>(integer)));
      }
      break;
    }
    case 'e': case 'E': case 'f': case 'g': case 'G': {
      Var* value = args.Next(PARAM_NUMERIC);
      if (value == nullptr) return false;
      if (type != 'f' || !PlainFixed(out, directive, GetFloat(value))) AppendFormatted(out, directive + type, GetFloat(value));
      break;
    }
    case 'c': {
      Var* value = args.Next(PARAM_NUMERIC);
      if (value == nullptr) return false;
      AppendFormatted(out, directive + type, static_cast<int>(GetByte(value)));
      break;
    }
    case 's': {
      Var* value = args.Next(PARAM_STRING);
      if (value == nullptr) return false;
      AppendFormatted(out, directive + type, static_cast<const char*>(ElementAddress(value, 0)));
      break;
    }
    case '\0': {
      // The format ended inside the directive: the message shows no
      // specifier between its quotes (a NUL there would cut the text short).
      std::string text = FormatMessage(MSG_5103, ' ');
      text.erase(text.find("\" \"") + 1, 1);
      return RaiseFormatted(*frame.run, text.c_str(), RaiseMode::WHILE_RUNNING);
    }
    default:
      return RaiseErrorIfRunning(*frame.run, MSG_5103, type);
  }
  ++format;
  return true;
}

}  // namespace

bool FormatText(CallFrame& frame, const char* format, ArgumentSource& args, std::string& out) {
  while (*format != '\0') {
    if (*format != '%') {
      const char* next = std::strchr(format, '%');
      std::size_t length = next != nullptr ? static_cast<std::size_t>(next - format) : std::strlen(format);
      out.append(format, length);
      format += length;
      continue;
    }
    ++format;
    if (*format == '%') {
      out += '%';
      ++format;
      continue;
    }
    if (*format == '\0') {
      out += '%';  // a lone "%" at the end stands for itself
      break;
    }
    bool handled = false;
    if (!PlainDirective(format, args, out, handled)) return false;
    if (!handled && !FormatDirective(frame, format, args, out)) return false;
  }
  return true;
}

// ===================================================================
// scanf
// ===================================================================

void StoreBytes(Var* target, const char* bytes, std::size_t count, bool terminate) {
  ArrayRef array = ResolveArray(target);
  const std::size_t total = count + (terminate ? 1 : 0);
  if (total == 0) return;
  EnsureSpan(array.data, array.origin, static_cast<std::uint32_t>(total), false);
  auto* at = static_cast<char*>(ElementPointer(array.data, array.origin));
  ForgetTextEnd(array.data);
  if (count > 0) std::memcpy(at, bytes, count);
  if (terminate) at[count] = '\0';
  KeepTerminated(array.data);
}

namespace {

// Longest text a "%s" or "%[" field without width takes: its slot holds this
// many characters and the NUL.
constexpr int kDefaultTextWidth = 1000;

enum SlotKind {
  SLOT_NONE = -1, SLOT_BYTE = 0, SLOT_LONG = 2, SLOT_DOUBLE = 3, SLOT_TEXT = 4, SLOT_CHARACTERS = 5, SLOT_UNSIGNED = 6
};

// One piece of the format for the C scanner: literal text, at most one
// directive, and "%n" to learn how far it got.
struct ScanField {
  std::string segment;
  SlotKind kind = SLOT_NONE;
  Var* target = nullptr;
  int width = 0;          // buffer bytes for the text kinds
  bool conversion = false;  // holds a directive (suppressed or not)
};

// Gives the target the kind its directive stores, before anything is read.
bool RedefineTarget(CallFrame& frame, Var* target, SlotKind kind) {
  Context& run = *frame.run;
  switch (kind) {
    case SLOT_LONG:
    case SLOT_UNSIGNED: return IsNumericScalar(target) || SetTypeAndDims(run, target, KEL_INT, 0);
    case SLOT_DOUBLE: return IsNumericScalar(target) || SetTypeAndDims(run, target, KEL_FLOAT, 0);
    case SLOT_BYTE: return IsNumericScalar(target) || SetTypeAndDims(run, target, KEL_BYTE, 0);
    case SLOT_CHARACTERS: return SetTypeAndDims(run, target, KEL_BYTE, 1);
    case SLOT_TEXT:
      if (!SetTypeAndDims(run, target, KEL_BYTE, 1)) return false;
      MarkString(ResolveArray(target).data);
      return true;
    default: return true;
  }
}

// Reads one directive after its "%" into [field]; advances [format].
bool PrepareDirective(CallFrame& frame, const char*& format, ArgumentSource& args, ScanField& field) {
  const bool suppressed = *format == '*';
  if (suppressed) ++format;
  std::string directive = suppressed ? "%*" : "%";
  int width = -1;
  if (IsDigit(*format)) {
    width = static_cast<int>(ReadDigits(format, 100000000));
    if (width == 0) {
      return RaiseErrorIfRunning(*frame.run, MSG_5104);
    }
  }
  const char type = *format;
  const char folded = static_cast<char>(type >= 'A' && type <= 'Z' ? type - 'A' + 'a' : type);
  SlotKind kind;
  std::string conversion;
  if (std::strchr("dioux", folded) != nullptr && folded != '\0') {
    kind = folded == 'd' || folded == 'i' ? SLOT_LONG : SLOT_UNSIGNED;
    conversion = std::string("l") + folded;
  } else if (std::strchr("efg", folded) != nullptr && folded != '\0') {
    kind = SLOT_DOUBLE;
    conversion = std::string("l") + folded;
  } else if (folded == 'c') {
    kind = width > 0 ? SLOT_CHARACTERS : SLOT_BYTE;
    conversion = "c";
  } else if (folded == 's') {
    kind = SLOT_TEXT;
    conversion = "s";
  } else if (type == '[') {
    const char* end = format + 1;
    if (*end == '^') ++end;
    if (*end == ']') ++end;  // a "]" first in the set belongs to it
    end = std::strchr(end, ']');
    if (end == nullptr) {
      return RaiseErrorIfRunning(*frame.run, MSG_5105);
    }
    kind = SLOT_TEXT;
    conversion.assign(format, static_cast<std::size_t>(end - format + 1));
    format = end;
  } else {
    return RaiseErrorIfRunning(*frame.run, MSG_5106, type);
  }
  ++format;
  // A text field never runs past its slot: without a width it gets one.
  if (kind == SLOT_TEXT && width < 0) width = kDefaultTextWidth;
  if (width > 0) directive += std::to_string(width);
  directive += conversion;
  field.segment += directive;
  field.conversion = true;
  if (suppressed) return true;
  field.kind = kind;
  field.width = width;
  field.target = args.Next(PARAM_ANY);
  if (field.target == nullptr) return false;
  return RedefineTarget(frame, field.target, kind);
}

bool PrepareFields(CallFrame& frame, const char* format, ArgumentSource& args, std::vector<ScanField>& fields) {
  ScanField field;
  while (*format != '\0') {
    if (*format != '%') {
      field.segment += *format++;
      continue;
    }
    ++format;
    if (*format == '%') {
      field.segment += "%%";
      ++format;
      continue;
    }
    if (!PrepareDirective(frame, format, args, field)) return false;
    fields.push_back(std::move(field));
    field = ScanField{};
  }
  if (!field.segment.empty()) fields.push_back(std::move(field));
  return true;
}

// Runs the C scanner over one field. Returns the scanner's result; [used]
// is -1 unless the whole field matched.
template <typename... Targets>
int ScanOnce(ScanInput& input, const std::string& segment, int& used, Targets... targets) {
  used = -1;
  std::string withMark = segment + "%n";
  if (input.stream != nullptr) return std::fscanf(input.stream, withMark.c_str(), targets..., &used);
  return std::sscanf(input.text + input.position, withMark.c_str(), targets..., &used);
}

// Scans one field and stores what it read. Returns false when scanning stops.
bool ScanOneField(ScanInput& input, const ScanField& field, int& assigned, bool& anyConversion, bool& atEnd) {
  int used = -1;
  int result = 0;
  long integer = 0;
  unsigned long natural = 0;
  double real = 0;
  char byte = 0;
  std::vector<char> text;
  switch (field.kind) {
    case SLOT_LONG: result = ScanOnce(input, field.segment, used, &integer); break;
    case SLOT_UNSIGNED: result = ScanOnce(input, field.segment, used, &natural); break;
    case SLOT_DOUBLE: result = ScanOnce(input, field.segment, used, &real); break;
    case SLOT_BYTE: result = ScanOnce(input, field.segment, used, &byte); break;
    case SLOT_TEXT:
    case SLOT_CHARACTERS:
      text.assign(static_cast<std::size_t>(field.width) + 1, '\0');
      result = ScanOnce(input, field.segment, used, text.data());
      break;
    default: result = ScanOnce(input, field.segment, used); break;
  }
  if (result == EOF) atEnd = true;
  if (used < 0) return false;
  if (input.stream == nullptr) input.position += static_cast<std::size_t>(used);
  if (field.conversion) anyConversion = true;
  if (field.kind == SLOT_NONE) return true;
  ++assigned;
  switch (field.kind) {
    // The C library's long may be wider than a script's 32-bit one.
    case SLOT_LONG: SetInt(field.target, SaturateToLong32(integer)); break;
    case SLOT_UNSIGNED: SetInt(field.target, static_cast<std::int32_t>(SaturateToUnsignedLong32(natural))); break;
    case SLOT_DOUBLE: SetFloat(field.target, real); break;
    case SLOT_BYTE: SetScalar(field.target, MakeByte(static_cast<std::uint8_t>(byte))); break;
    case SLOT_TEXT: StoreBytes(field.target, text.data(), std::strlen(text.data()), true); break;
    default: StoreBytes(field.target, text.data(), static_cast<std::size_t>(field.width), false); break;
  }
  return true;
}

}  // namespace

int ScanText(CallFrame& frame, const char* format, ArgumentSource& args, ScanInput& input, bool& ok) {
  std::vector<ScanField> fields;
  ok = PrepareFields(frame, format, args, fields);
  if (!ok) return 0;
  int assigned = 0;
  bool anyConversion = false;
  bool atEnd = false;
  for (const ScanField& field : fields) {
    if (!ScanOneField(input, field, assigned, anyConversion, atEnd)) break;
  }
  if (atEnd && !anyConversion && assigned == 0) return -1;
  return assigned;
}

}  // namespace kel
