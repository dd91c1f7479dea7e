// Reading a bound executable's program: the data found through the bind
// header in the executable's own file, its integrity checked, and every
// function record turned back into a token list with its partners, bound
// already. Data the binder cannot have written is refused whole.

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/message_table.h"
#include "base/process.h"
#include "base/sha256.h"
#include "base/text.h"
#include "engine/context.h"
#include "engine/environment.h"
#include "engine/functions.h"
#include "engine/scope.h"
#include "engine/token.h"
#include "engine/value.h"
#include "front/bound_format.h"
#include "front/bound_program.h"

namespace kel {

namespace {

using namespace bound;

// A function read but not yet registered.
struct FunctionRead {
  std::string name;
  std::uint32_t nameCount = 0;
  Token* first = nullptr;
  std::int32_t highestSlot = -1;
  // From the names record, when there is one.
  bool named = false;
  std::uint32_t paramCount = 0;
  std::vector<std::string> names;
};

class ProgramReader {
 public:
  ProgramReader(Context& run, std::string_view data) : run_(run), data_(data) {}
  BoundLoad Load();

 private:
  bool Take(void* out, std::size_t count);
  bool U16(std::uint16_t& value) {
    std::uint8_t bytes[2];
    if (!Take(bytes, 2)) return false;
    value = static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
    return true;
  }
  bool Text(std::string& text);
  bool Function(FunctionRead& function);
  bool Hex(std::uint32_t& value, int digits);
  bool Names(FunctionRead& function);
  bool Tokens(FunctionRead& function);
  bool Payload(Token* token, std::uint32_t nameCount);
  bool Partner(Token* token);
  bool Value(Token* token);
  bool Reference(Token* token, bool environment);
  bool Constant(Token* token, std::uint16_t tag);

  Context& run_;
  std::string_view data_;
  std::size_t at_ = 0;
  bool failed_ = false;  // an environment variable could not be made
  // The significant tokens of the function being read, and the openers
  // still waiting for their partners, innermost last.
  std::vector<Token*> tokens_;
  std::vector<Token*> open_;
};

bool ProgramReader::Take(void* out, std::size_t count) {
  if (data_.size() - at_ < count) return false;
  std::memcpy(out, data_.data() + at_, count);
  at_ += count;
  return true;
}

bool ProgramReader::Text(std::string& text) {
  std::uint16_t length;
  if (!U16(length) || data_.size() - at_ < length) return false;
  text.assign(data_.data() + at_, length);
  at_ += length;
  return true;
}

BoundLoad ProgramReader::Load() {
  std::vector<FunctionRead> functions;
  bool ok = true;
  std::uint16_t value;
  while (ok && at_ < data_.size()) {
    ok = U16(value);
    if (ok && value == kFunctionRecord) {
      functions.emplace_back();
      ok = Function(functions.back());
    } else if (ok && value == kNamesRecord && !functions.empty() && !functions.back().named) {
      ok = Names(functions.back());
    }
  }
  bool global = false;
  for (const FunctionRead& function : functions) global = global || function.name == kGlobalInitName;
  if (!ok || !global) {
    for (FunctionRead& function : functions) DestroyTokenList(function.first);
    return failed_ ? BoundLoad::FAILED : BoundLoad::DAMAGED;
  }
  for (FunctionRead& function : functions) {
    FunctionRecord* record = run_.functions->Define(function.name, function.first);
    record->resolved = 1;
    record->nameCount = function.nameCount;
    record->paramCount = function.paramCount;
    record->names = std::move(function.names);
  }
  return BoundLoad::LOADED;
}

bool ProgramReader::Hex(std::uint32_t& value, int digits) {
  value = 0;
  for (int i = 0; i < digits; ++i) {
    if (at_ >= data_.size()) return false;
    const char c = data_[at_++];
    const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (digit < 0) return false;
    value = value << 4 | static_cast<std::uint32_t>(digit);
  }
  return true;
}

// The names of the function just read: its parameters, last first, then its
// locals, as binding made them; every local slot must lie among the locals.
bool ProgramReader::Names(FunctionRead& function) {
  function.named = true;
  if (!Hex(function.paramCount, 4) || function.paramCount > function.nameCount) return false;
  if (function.highestSlot >= static_cast<std::int32_t>(function.nameCount - function.paramCount)) return false;
  for (std::uint32_t i = 0; i < function.nameCount; ++i) {
    std::uint32_t length, byte;
    if (!Hex(length, 4) || (data_.size() - at_) / 2 < length) return false;
    std::string& name = function.names.emplace_back();
    for (std::uint32_t j = 0; j < length; ++j) {
      if (!Hex(byte, 2)) return false;
      name += static_cast<char>(byte);
    }
  }
  return true;
}

bool ProgramReader::Function(FunctionRead& function) {
  std::uint16_t nameCount;
  if (!Text(function.name) || !U16(nameCount)) return false;
  function.nameCount = nameCount;
  return Tokens(function);
}

// The tokens up to the end mark. The first is the "{" of the body, whose
// "}" must be the last; brackets nest, each closer naming its own opener.
bool ProgramReader::Tokens(FunctionRead& function) {
  tokens_.clear();
  open_.clear();
  Token* tail = nullptr;
  for (;;) {
    std::uint16_t code;
    if (!U16(code)) return false;
    if (code == kEndOfTokens) return !tokens_.empty() && open_.empty();
    const bool known = IsListCode(code) && code != TOK_CALL_RESOLVED;
    const bool first = tokens_.empty();
    if (!known || (first && code != TOK_BLOCK_OPEN) || (!first && open_.empty())) return false;
    tail = InsertAfter(tail);
    if (first) function.first = tail;
    tail->code = code;
    tokens_.push_back(tail);
    if (!Payload(tail, function.nameCount) || !Partner(tail)) return false;
    if (code == TOK_VARSLOT) function.highestSlot = std::max(function.highestSlot, tail->data.slot);
  }
}

bool ProgramReader::Payload(Token* token, std::uint32_t nameCount) {
  switch (PayloadOf(token->code)) {
    case Payload::NONE: return true;
    case Payload::TEXT: {
      std::string text;
      if (!Text(text)) return false;
      // A member or goto whose name never came stays without one.
      const bool nameless = text.empty() && (token->code == TOK_MEMBER || token->code == TOK_GOTO);
      if (!nameless) token->data.text = CopyText(text.data(), static_cast<std::uint32_t>(text.size()));
      return true;
    }
    case Payload::VALUE: return Value(token);
    case Payload::SLOT: {
      std::uint16_t raw;
      if (!U16(raw)) return false;
      token->data.slot = static_cast<std::int16_t>(raw);
      // Parameters are checked against the arguments of each call; a local
      // must have its room in the frame.
      return token->data.slot < static_cast<std::int32_t>(nameCount);
    }
    case Payload::DISTANCE: {
      std::uint16_t distance;
      if (!U16(distance) || distance == 0 || distance >= tokens_.size()) return false;
      token->partner = tokens_[tokens_.size() - 1 - distance];
      return true;
    }
  }
  return false;
}

// Pairs [token] with the innermost open bracket. The data carries no
// distance for the ":" of a conditional: it belongs to the innermost "?".
bool ProgramReader::Partner(Token* token) {
  if (IsOpener(token->code)) {
    open_.push_back(token);
    return true;
  }
  const std::uint16_t opener = OpenerOf(token->code);
  if (opener == 0) return true;
  if (open_.empty() || open_.back()->code != opener) return false;
  Token* partner = open_.back();
  if (token->partner != nullptr && token->partner != partner) return false;
  token->partner = partner;
  partner->partner = token;
  open_.pop_back();
  return true;
}

bool ProgramReader::Value(Token* token) {
  std::uint16_t tag;
  if (!U16(tag)) return false;
  switch (tag & 0xFF) {
    case kEnvironmentReference & 0xFF: return Reference(token, true);
    case kGlobalReference & 0xFF: return Reference(token, false);
    default: return Constant(token, tag & 0xFF);
  }
}

// A global or environment variable, found or made in the run's scopes. Names
// keep the binder's rule: environment variables have no lowercase letter.
bool ProgramReader::Reference(Token* token, bool environment) {
  std::string name;
  if (!Text(name) || name.empty() || HasLowercaseLetter(name) == environment) return false;
  if (name.find('=') != std::string::npos || name.find('\0') != std::string::npos) return false;
  Var* variable;
  if (environment) {
    variable = EnvLookup(run_, name);
    failed_ = variable == nullptr;
  } else {
    variable = run_.globals->Lookup(name);
    if (variable == nullptr) variable = run_.globals->Create(name);
  }
  token->data.value = variable;
  return variable != nullptr;
}

bool ProgramReader::Constant(Token* token, std::uint16_t tag) {
  std::uint8_t raw[8] = {};
  switch (tag) {
    case KEL_BYTE:
      if (!Take(raw, 1)) return false;
      token->data.value = NewByteVar(raw[0]);
      return true;
    case KEL_INT:
    case KEL_FLOAT: {
      const std::size_t size = tag == KEL_INT ? 4 : 8;
      if (!Take(raw, size)) return false;
      std::uint64_t bits = 0;
      for (std::size_t i = 0; i < size; ++i) bits |= static_cast<std::uint64_t>(raw[i]) << (8 * i);
      double real;
      std::memcpy(&real, &bits, sizeof real);
      token->data.value = tag == KEL_INT ? NewIntVar(static_cast<std::int32_t>(bits)) : NewFloatVar(real);
      return true;
    }
    case kStringConstant:
    case kByteArrayConstant: {
      std::uint16_t count;
      const bool isString = tag == kStringConstant;
      // A character constant has two bytes at least: one is a byte value.
      if (!U16(count) || count < (isString ? 1 : 3) || data_.size() - at_ < count) return false;
      Var* value = NewByteArrayVar(data_.data() + at_, count - 1u, isString);
      value->literal = 1;
      token->data.value = value;
      at_ += count;
      return true;
    }
    default: return false;
  }
}

// The data UseBoundProgramData gave, taken instead of the executable's own.
std::string givenData;
bool dataGiven = false;

// This executable's program data, read through its bind header; fatal when
// the file cannot be read or the data is not what the binder wrote.
std::string ReadOwnData() {
  const std::string path = InterpreterPath();
  std::FILE* self = std::fopen(path.c_str(), "rb");
  if (self == nullptr) FatalError(MSG_0100, path.c_str());
  const std::array<std::uint8_t, kBindHeaderSize> header = BindHeaderBytes();
  std::uint32_t offset = 0, size = 0;
  for (int i = 3; i >= 0; --i) {
    offset = offset << 8 | header[static_cast<std::size_t>(i)];
    size = size << 8 | header[static_cast<std::size_t>(i) + 4];
  }
  std::string data;
  bool ok = std::fseek(self, 0, SEEK_END) == 0;
  const long fileSize = ok ? std::ftell(self) : -1;
  ok = fileSize >= 0 && offset <= static_cast<unsigned long>(fileSize) &&
       size <= static_cast<unsigned long>(fileSize) - offset;
  if (ok) {
    data.resize(size);
    ok = std::fseek(self, static_cast<long>(offset), SEEK_SET) == 0 &&
         std::fread(data.data(), 1, size, self) == size;
  }
  std::fclose(self);
  if (!ok || !BoundDataIsIntact(data)) FatalError(MSG_0105, path.c_str());
  return data;
}

}  // namespace

bool BoundDataIsIntact(std::string_view data) {
  if (data.size() < kIntegritySize) return false;
  const std::size_t body = data.size() - kIntegritySize;
  const auto mark = static_cast<std::uint16_t>(static_cast<std::uint8_t>(data[body]) |
                                               static_cast<std::uint8_t>(data[body + 1]) << 8);
  return mark == kIntegrityRecord && data.substr(body + 2) == Sha256Hex(data.data(), body);
}

BoundLoad LoadBoundProgram(Context& run, std::string_view data) { return ProgramReader(run, data).Load(); }

void UseBoundProgramData(std::string data) {
  givenData = std::move(data);
  dataGiven = true;
}

bool ReadBoundProgram(Context& run) {
  const std::string data = dataGiven ? givenData : ReadOwnData();
  switch (LoadBoundProgram(run, data)) {
    case BoundLoad::LOADED: return true;
    case BoundLoad::FAILED: return false;
    case BoundLoad::DAMAGED: break;
  }
  FatalError(MSG_0105, InterpreterPath().c_str());
}

}  // namespace kel
