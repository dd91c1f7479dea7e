// Environment variables written back: the text forms of the script's
// environment variables replace their entries in the environment block, and
// the process environment takes the changes.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/text.h"
#include "engine/context.h"
#include "engine/environment.h"
#include "engine/messages.h"
#include "engine/scope.h"
#include "engine/value.h"
#include "platform/processes.h"
#include "platform/system.h"

namespace kel {

namespace {

std::string Formatted(const char* format, double value) {
  const int length = std::snprintf(nullptr, 0, format, value);
  std::string text(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  std::snprintf(text.data(), text.size() + 1, format, value);
  return text;
}

// Bytes as a character literal: the escapes for 7 to 13, the backslash and
// the quote, octal for other control bytes and 255.
std::string QuotedBytes(const std::uint8_t* bytes, std::uint32_t count) {
  static const char kEscapes[] = "abtnvfr";
  std::string text = "'";
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t byte = bytes[i];
    if (byte >= 7 && byte <= 13) {
      text += '\\';
      text += kEscapes[byte - 7];
    } else if (byte == '\\' || byte == '\'') {
      text += '\\';
      text += static_cast<char>(byte);
    } else if (byte < 32 || byte == 255) {
      char octal[8];
      std::snprintf(octal, sizeof octal, "\\%o", byte);
      text += octal;
    } else {
      text += static_cast<char>(byte);
    }
  }
  return text + "'";
}

// The elements of the one-dimensional array [var] denotes, from its origin to
// its highest index.
struct Elements {
  const std::uint8_t* bytes;
  std::uint32_t count;
};
Elements ElementsOf(Var* var) {
  ArrayRef array = ResolveArray(var);
  VarData* data = array.data;
  const std::int64_t count = static_cast<std::int64_t>(data->minIndex) + data->elemCount - array.origin;
  if (data->payload.elements == nullptr || count <= 0 || array.origin < data->minIndex) return {nullptr, 0};
  return {ByteElements(data) + IndexOffset(array.origin, data->minIndex) * data->elemSize,
          static_cast<std::uint32_t>(count)};
}

// The text of a one-dimensional array that has one: a string, bytes, a list
// of numbers. False for arrays written element by element.
bool ArrayText(Var* var, std::string& text) {
  if (Arrayness(var) != 1 || KindOf(var) == KEL_STRUCT) return false;
  const Elements elements = ElementsOf(var);
  if (KindOf(var) == KEL_BYTE) {
    if (ResolveArray(var).data->isString) {
      std::uint32_t length = 0;
      while (length < elements.count && elements.bytes[length] != 0) ++length;
      text.assign(reinterpret_cast<const char*>(elements.bytes), length);
    } else {
      text = QuotedBytes(elements.bytes, elements.count);
    }
    return true;
  }
  text = "{";
  for (std::uint32_t i = 0; i < elements.count; ++i) {
    Scalar value;
    if (KindOf(var) == KEL_INT) {
      std::int32_t number;
      std::memcpy(&number, elements.bytes + i * 4, 4);
      value = MakeInt(number);
    } else {
      double number;
      std::memcpy(&number, elements.bytes + i * 8, 8);
      value = MakeFloat(number);
    }
    if (i > 0) text += ',';
    text += NumberText(value);
  }
  text += '}';
  return true;
}

void AddEntries(const std::string& name, Var* var, std::vector<std::string>& out);

// The element indexes of [array] from its origin on that may hold entries:
// the rows made (found through the storage's list of them, however far
// apart), or every element of a structure array.
std::vector<std::int32_t> CandidateElements(const ArrayRef& array, std::int32_t highest) {
  std::vector<std::int32_t> offsets;
  if (array.data->dimension > 1) {
    for (const ContainerLink* link = array.data->rows; link != nullptr; link = link->nextRow) {
      const std::uint32_t offset = IndexOffset(link->index, array.origin);
      if (offset <= static_cast<std::uint32_t>(highest)) offsets.push_back(static_cast<std::int32_t>(offset));
    }
    std::sort(offsets.begin(), offsets.end());
    return offsets;
  }
  for (std::int32_t i = 0; i <= highest; ++i) offsets.push_back(i);
  return offsets;
}

// One entry set per element of an array of structures or of rows; rows
// never made hold nothing.
void AddElementEntries(const std::string& name, Var* var, std::vector<std::string>& out) {
  std::int32_t lowest, highest;
  GetSpan(var, lowest, highest);
  if (highest < 0) return;
  const ArrayRef array = ResolveArray(var);
  for (const std::int32_t i : CandidateElements(array, highest)) {
    const auto index = static_cast<std::int32_t>(static_cast<std::uint32_t>(array.origin) + static_cast<std::uint32_t>(i));
    Var* element = NewVarOn(array.data, index, VAR_ELEMENT);
    AddEntries(name + "[" + std::to_string(i) + "]", element, out);
    ReleaseVar(element);
  }
}

// The entries NAME=TEXT of [var] under [name].
void AddEntries(const std::string& name, Var* var, std::vector<std::string>& out) {
  if (!IsDefined(var)) return;
  if (IsStructure(var)) {
    for (MemberNode* node = MembersOf(var)->head; node != nullptr; node = node->next) {
      AddEntries(name + "." + node->name, node->var, out);
    }
    return;
  }
  if (Arrayness(var) == 0) {
    const Scalar value = GetScalar(var);
    out.push_back(name + "=" + (value.type == KEL_BYTE ? QuotedBytes(&value.byteValue, 1) : NumberText(value)));
    return;
  }
  std::string text;
  if (ArrayText(var, text)) {
    out.push_back(name + "=" + text);
  } else {
    AddElementEntries(name, var, out);
  }
}

bool BelongsToScope(const VarList& scope, std::string_view entry) {
  for (ScopeNode* node = scope.First(); node != nullptr; node = node->next) {
    if (EntryBelongsTo(entry, node->name)) return true;
  }
  return false;
}

// The name part of an entry, before its "=".
std::string EntryName(const std::string& entry) { return entry.substr(0, entry.find('=')); }

// ===================================================================
// The update file
// ===================================================================

// The variable an entry belongs to: its name up to "=", "." or "[".
std::string_view VariableOf(std::string_view entry) { return entry.substr(0, entry.find_first_of("=.[")); }

bool IsShellName(std::string_view name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  for (const char c : name) {
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!letter && !(c >= '0' && c <= '9') && c != '_') return false;
  }
  return true;
}

// One line that clears, or with [value] sets, the variable [name]; false
// when the syntax cannot carry it safely.
bool UpdateLine(platform::ShellSyntax syntax, std::string_view name, const std::string* value, std::string& out) {
  if (syntax == platform::ShellSyntax::Posix) {
    // A shell has no variables of such names: nothing can take them over.
    if (!IsShellName(name)) return true;
    if (value == nullptr) {
      out += "unset " + std::string(name) + "\n";
      return true;
    }
    out += "export " + std::string(name) + "='";
    for (const char c : *value) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    out += "'\n";
    return true;
  }
  std::string text = std::string(name) + "=" + (value != nullptr ? *value : std::string());
  if (text.find_first_of("\r\n") != std::string::npos) return false;
  out += "@SET \"";  // "@": no echo of the line, whatever the caller's echo state
  for (const char c : text) out += c == '%' ? std::string("%%") : std::string(1, c);
  out += "\"\n";
  return true;
}

bool DefinedInScope(const VarList& scope, std::string_view name) {
  const Var* var = scope.LookupHere(name);
  return var != nullptr && IsDefined(var);
}

}  // namespace

std::string NumberText(const Scalar& value) {
  if (value.type == KEL_FLOAT) return Formatted("%f", value.floatValue);
  return std::to_string(ScalarToInt(value));
}

bool WriteEnvUpdateFile(Context& context, const std::string& fileName) {
  const VarList& scope = *context.environment;
  const platform::ShellSyntax syntax = platform::CommandProcessorSyntax();
  std::string text;
  bool safe = true;
  for (const std::string& entry : context.envBlock->Received()) {
    if (scope.LookupHere(VariableOf(entry)) == nullptr) continue;
    safe = safe && UpdateLine(syntax, EntryName(entry), nullptr, text);
  }
  for (const std::string& entry : context.envBlock->Entries()) {
    if (!DefinedInScope(scope, VariableOf(entry))) continue;
    const std::string name = EntryName(entry);
    const std::string value = entry.substr(std::min(name.size() + 1, entry.size()));
    safe = safe && UpdateLine(syntax, name, &value, text);
  }
  std::FILE* file = safe ? std::fopen(fileName.c_str(), "w") : nullptr;
  bool written = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (file != nullptr) written = std::fclose(file) == 0 && written;
  if (!written) {
    if (file != nullptr) std::remove(fileName.c_str());  // no half-written commands
    RaiseErrorAlways(context, MSG_6002, fileName.c_str());
  }
  return written;
}

void EnvWriteBack(Context& context) {
  const VarList& scope = *context.environment;
  std::vector<std::string>& entries = context.envBlock->Entries();
  std::vector<std::string> kept, added;
  for (std::string& entry : entries) {
    if (BelongsToScope(scope, entry)) {
      platform::SetEnvironmentValue(EntryName(entry), nullptr);
    } else {
      kept.push_back(std::move(entry));
    }
  }
  for (ScopeNode* node = scope.First(); node != nullptr; node = node->next) AddEntries(node->name, node->var, added);
  for (const std::string& entry : added) {
    const std::string name = EntryName(entry);
    platform::SetEnvironmentValue(name, entry.c_str() + name.size() + 1);  // every added entry has its "="
    kept.push_back(entry);
  }
  entries = std::move(kept);
}

}  // namespace kel
