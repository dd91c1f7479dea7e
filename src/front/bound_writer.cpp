// Writing a bound executable: the interpreter's own file copied with its bind
// header found on the way, every function bound and written as program data,
// the header patched, and the result's size and digest printed.

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/host.h"
#include "base/message_table.h"
#include "base/process.h"
#include "base/sha256.h"
#include "engine/calls.h"
#include "engine/context.h"
#include "engine/functions.h"
#include "engine/messages.h"
#include "engine/scope.h"
#include "engine/token.h"
#include "engine/value.h"
#include "front/bound_format.h"
#include "front/bound_program.h"
#include "platform/files.h"

namespace kel {

namespace {

using namespace bound;

// ===================================================================
// Program data
// ===================================================================

class ProgramWriter {
 public:
  explicit ProgramWriter(Context& run);
  // Appends the function record of [function] (bound already).
  void Function(const FunctionRecord& function);
  // Appends the integrity record and hands the data over.
  std::string Finish();
  // What could not be written (a limit of the data's 16-bit fields), or null.
  const char* Failure() const { return failure_; }

 private:
  void Fail(const char* what) {
    if (failure_ == nullptr) failure_ = what;
  }
  void U16(std::uint32_t value, const char* what);
  void Text(const char* text, const char* what);
  void Bytes(const void* bytes, std::size_t count) { data_.append(static_cast<const char*>(bytes), count); }
  void Hex(std::uint32_t value, int digits);
  void Names(const FunctionRecord& function);
  void Token(const kel::Token* token, std::size_t position);
  void Value(const Var* value);
  void Literal(const Var* value);

  std::string data_;
  const char* failure_ = nullptr;
  // The name under which each global and environment variable is known.
  struct Reference {
    std::uint16_t tag;
    const char* name;
  };
  std::unordered_map<const Var*, Reference> references_;
  // Where each significant token of the function being written stands.
  std::unordered_map<const kel::Token*, std::size_t> positions_;
};

ProgramWriter::ProgramWriter(Context& run) {
  for (VarList* scope = run.environment; scope != nullptr; scope = scope->Parent()) {
    for (ScopeNode* node = scope->First(); node != nullptr; node = node->next) {
      references_.try_emplace(node->var, Reference{kEnvironmentReference, node->name});
    }
  }
  for (VarList* scope = run.globals; scope != nullptr; scope = scope->Parent()) {
    for (ScopeNode* node = scope->First(); node != nullptr; node = node->next) {
      references_.try_emplace(node->var, Reference{kGlobalReference, node->name});
    }
  }
}

void ProgramWriter::U16(std::uint32_t value, const char* what) {
  if (value > 0xFFFF) Fail(what);
  const char bytes[2] = {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
  Bytes(bytes, 2);
}

void ProgramWriter::Text(const char* text, const char* what) {
  const std::size_t length = text != nullptr ? std::strlen(text) : 0;
  U16(static_cast<std::uint32_t>(std::min<std::size_t>(length, 0x10000)), what);
  Bytes(text, length);
}

void ProgramWriter::Function(const FunctionRecord& function) {
  U16(kFunctionRecord, "");
  Text(function.name.c_str(), "a function name of more than 65535 bytes");
  U16(function.nameCount, "a function with more than 65535 names");
  positions_.clear();
  std::size_t position = 0;
  for (const kel::Token* at = function.body; at != nullptr; at = NextSignificant(at), ++position) {
    positions_[at] = position;
    Token(at, position);
  }
  U16(kEndOfTokens, "");
  Names(function);
}

void ProgramWriter::Hex(std::uint32_t value, int digits) {
  static constexpr char kDigits[] = "0123456789abcdef";
  for (int i = digits - 1; i >= 0; --i) data_ += kDigits[(value >> (4 * i)) & 15];
}

void ProgramWriter::Names(const FunctionRecord& function) {
  U16(kNamesRecord, "");
  Hex(function.paramCount, 4);
  for (const std::string& name : function.names) {
    if (name.size() > 0xFFFF) Fail("a name of more than 65535 bytes");
    Hex(static_cast<std::uint32_t>(name.size()), 4);
    for (char c : name) Hex(static_cast<std::uint8_t>(c), 2);
  }
}

void ProgramWriter::Token(const kel::Token* token, std::size_t position) {
  U16(token->code, "");
  switch (PayloadOf(token->code)) {
    case Payload::NONE: break;
    case Payload::TEXT: Text(token->data.text, "a name of more than 65535 bytes"); break;
    case Payload::VALUE: Value(token->data.value); break;
    case Payload::SLOT: {
      const std::int32_t slot = token->data.slot;
      if (slot < -0x8000 || slot > 0x7FFF) Fail("a function with more than 32767 names");
      U16(static_cast<std::uint16_t>(slot), "");
      break;
    }
    case Payload::DISTANCE: {
      auto found = positions_.find(token->partner);
      if (found == positions_.end()) return Fail("a bracket without its partner");
      U16(static_cast<std::uint32_t>(position - found->second), "a block of more than 65535 tokens");
      break;
    }
  }
}

void ProgramWriter::Value(const Var* value) {
  if (IsLvalue(value)) {
    auto found = references_.find(value);
    if (found == references_.end()) return Fail("a variable of no scope");
    U16(found->second.tag, "");
    Text(found->second.name, "a variable name of more than 65535 bytes");
    return;
  }
  Literal(value);
}

void ProgramWriter::Literal(const Var* value) {
  const VarData* data = value->data;
  if (data->dimension == 0 && IsNumericKind(data->type)) {
    U16(static_cast<std::uint16_t>(data->type), "");
    std::uint8_t raw[8];
    std::size_t size = 1;
    if (data->type == KEL_BYTE) {
      raw[0] = data->payload.byteValue;
    } else {
      std::uint64_t bits = 0;
      size = data->type == KEL_INT ? 4 : 8;
      if (data->type == KEL_INT) bits = static_cast<std::uint32_t>(data->payload.intValue);
      if (data->type == KEL_FLOAT) std::memcpy(&bits, &data->payload.floatValue, sizeof bits);
      for (std::size_t i = 0; i < size; ++i) raw[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
    Bytes(raw, size);
    return;
  }
  if (data->dimension != 1 || data->type != KEL_BYTE) return Fail("a constant of this kind");
  const std::uint8_t* bytes = ByteElements(data);
  if (data->isString) {
    U16(kStringConstant, "");
    U16(data->elemCount, "a string of more than 65534 bytes");
    Bytes(bytes, data->elemCount);
  } else {
    U16(kByteArrayConstant, "");
    U16(data->elemCount + 1, "a character constant of more than 65534 bytes");
    Bytes(bytes, data->elemCount);
    data_ += '\0';  // the count's extra byte, which carries no meaning
  }
}

std::string ProgramWriter::Finish() {
  const std::string digest = Sha256Hex(data_.data(), data_.size());
  U16(kIntegrityRecord, "");
  data_ += digest;
  return std::move(data_);
}

// ===================================================================
// The output file
// ===================================================================

// The output being written: on any failure it is closed and removed before
// the fatal message, so that no half-written program is left behind.
class BoundOutput {
 public:
  explicit BoundOutput(std::string name) : name_(std::move(name)) {}
  const char* Name() const { return name_.c_str(); }
  std::FILE*& File() { return file_; }
  void Discard(std::FILE* other) {
    if (other != nullptr) std::fclose(other);
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    std::remove(name_.c_str());
  }
  [[noreturn]] void FailWriting(std::FILE* other) {
    Discard(other);
    FatalError(MSG_0104, Name());
  }
  void Write(const void* bytes, std::size_t count, std::FILE* other) {
    if (std::fwrite(bytes, 1, count, file_) != count) FailWriting(other);
  }

 private:
  std::string name_;
  std::FILE* file_ = nullptr;
};

// Copies the interpreter [self] into [output] in chunks of 1000 bytes that
// overlap by 36, so that a header across two chunks is still seen. Returns
// the bytes copied and sets [header] to where the header pattern is, or to
// -1 when it is not there exactly once.
long CopyInterpreter(std::FILE* self, BoundOutput& output, long& header) {
  constexpr long kChunk = 1000, kOverlap = 36;
  const std::array<std::uint8_t, kBindHeaderSize> pattern = BindHeaderBytes();
  std::array<std::uint8_t, kChunk> chunk;
  long start = 0, found = -1;
  int matches = 0;
  for (;;) {
    const long count = static_cast<long>(std::fread(chunk.data(), 1, chunk.size(), self));
    output.Write(chunk.data(), static_cast<std::size_t>(count), self);
    for (long i = 0; i + static_cast<long>(kBindHeaderSize) <= count; ++i) {
      if (start + i > found && std::memcmp(chunk.data() + i, pattern.data(), kBindHeaderSize) == 0) {
        found = start + i;
        ++matches;
      }
    }
    if (count < kChunk) {
      header = matches == 1 ? found : -1;
      return start + count;
    }
    start += kChunk - kOverlap;
    if (std::fseek(self, start, SEEK_SET) != 0 || std::fseek(output.File(), start, SEEK_SET) != 0) {
      output.FailWriting(self);
    }
  }
}

void PutU32(std::uint8_t* out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Prints the size and SHA-256 of the file [name], for the user to publish.
void PrintDigest(Context& run, const char* name) {
  std::FILE* file = std::fopen(name, "rb");
  if (file == nullptr) return;
  Sha256 hash;
  std::array<char, 65536> buffer;
  unsigned long long size = 0;
  for (std::size_t count; (count = std::fread(buffer.data(), 1, buffer.size(), file)) > 0; size += count) {
    hash.Update(buffer.data(), count);
  }
  std::fclose(file);
  char line[400];
  std::snprintf(line, sizeof line, "%.260s: %llu bytes, SHA-256 %s\n", name, size, hash.FinishHex().c_str());
  run.host->WriteStandardOutput(line);
}

}  // namespace

bool MakeBoundProgramData(Context& run, std::string& data, const char*& limit) {
  for (FunctionRecord* function = run.functions->First(); function != nullptr; function = function->next) {
    if (!BindFunction(run, *function)) return false;
  }
  ProgramWriter writer(run);
  for (FunctionRecord* function = run.functions->First(); function != nullptr; function = function->next) {
    writer.Function(*function);
  }
  limit = writer.Failure();
  if (limit != nullptr) return false;
  data = writer.Finish();
  return true;
}

void WriteBoundProgram(Context& run) {
  BoundOutput output(BindTarget);
  if (std::FILE* existing = std::fopen(output.Name(), "rb")) {
    std::fclose(existing);
    FatalError(MSG_0101, output.Name());
  }
  output.File() = std::fopen(output.Name(), "wb");
  if (output.File() == nullptr) FatalError(MSG_0102, output.Name());
  const std::string interpreter = InterpreterPath();
  std::FILE* self = std::fopen(interpreter.c_str(), "rb");
  if (self == nullptr) {
    output.Discard(nullptr);
    FatalError(MSG_0100, interpreter.c_str());
  }
  long header = -1;
  const long interpreterSize = CopyInterpreter(self, output, header);
  if (std::ferror(self)) {  // a copy cut short by a read error is no interpreter
    output.Discard(self);
    FatalError(MSG_0100, interpreter.c_str());
  }
  if (header < 0) {
    output.Discard(self);
    FatalError(MSG_0103, interpreter.c_str());
  }
  std::fclose(self);
  std::string data;
  const char* limit = nullptr;
  if (!MakeBoundProgramData(run, data, limit)) {
    output.Discard(nullptr);
    if (limit != nullptr) FatalError(MSG_0106, output.Name(), limit);
    return;
  }
  output.Write(data.data(), data.size(), nullptr);
  std::uint8_t patch[8];
  PutU32(patch, static_cast<std::uint32_t>(interpreterSize));
  PutU32(patch + 4, static_cast<std::uint32_t>(data.size()));
  if (std::fseek(output.File(), header, SEEK_SET) != 0) output.FailWriting(nullptr);
  output.Write(patch, sizeof patch, nullptr);
  const bool closed = std::fclose(output.File()) == 0;
  output.File() = nullptr;
  if (!closed || !platform::CopyPermissions(interpreter.c_str(), output.Name())) output.FailWriting(nullptr);
  PrintDigest(run, output.Name());
}

}  // namespace kel
