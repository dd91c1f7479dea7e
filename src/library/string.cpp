// Strings and memory: the C routines on script byte arrays. Destinations
// grow to fit; a returned C pointer becomes a reference into the same array;
// a count beyond a source's storage never reads past it.

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "engine/calls.h"
#include "engine/context.h"
#include "engine/messages.h"
#include "engine/operand.h"
#include "engine/value.h"
#include "library/arguments.h"
#include "library/format.h"
#include "library/groups.h"

namespace kel {

namespace {

// Variants of the handlers that serve several names (0: the plain one).
constexpr std::uint32_t kFoldsCase = 1;   // memicmp, stricmp and the like fold 'A'-'Z'
constexpr std::uint32_t kFromEnd = 1;     // strrchr
constexpr std::uint32_t kComplement = 1;  // strcspn
constexpr std::uint32_t kToLower = 1;     // strlwr

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The optional count at [i], defaulting to [fallback]; a negative count acts
// on nothing.
bool GetCount(CallFrame& frame, int i, std::uint32_t fallback, std::uint32_t& count) {
  count = fallback;
  if (frame.argCount <= i) return true;
  std::int32_t value;
  if (!GetInteger(frame, i, value)) return false;
  count = value < 0 ? 0 : static_cast<std::uint32_t>(value);
  return true;
}

// The text of [destination] from its origin, up to its first NUL.
// OPTIMIZATION: the end an append left is remembered, so appending to a long
// text costs the length of the piece, not of the text (while nothing else
// writes into storage in between).
std::size_t TextLength(Var* destination) {
  ArrayRef array = ResolveArray(destination);
  VarData* data = array.data;
  if (data->textHintEpoch == StorageWriteEpoch && data->textHintOrigin == array.origin &&
      data->textHint >= array.origin &&
      static_cast<std::int64_t>(data->textHint) < static_cast<std::int64_t>(data->minIndex) + data->elemCount) {
    return static_cast<std::size_t>(data->textHint - array.origin);
  }
  Buffer buffer = BufferOf(destination);
  const void* end = buffer.bytes != nullptr ? std::memchr(buffer.bytes, 0, buffer.length) : nullptr;
  return end != nullptr ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - buffer.bytes) : buffer.length;
}

void RememberTextEnd(Var* destination, std::size_t length) {
  ArrayRef array = ResolveArray(destination);
  array.data->textHint = array.origin + static_cast<std::int32_t>(length);
  array.data->textHintOrigin = array.origin;
  array.data->textHintEpoch = StorageWriteEpoch;
}

// Writes [bytes] into [destination] at [offset] from its origin, growing it.
// Room for [total] bytes from [destination]'s origin, grown when needed;
// where they start. More than one array can hold with the NUL byte that
// keeps text terminated is 0003 before anything is allocated.
char* RoomAt(Var* destination, std::uint64_t total) {
  if (total >= kMaxArrayBytes) FatalError(MSG_0003);
  ArrayRef array = ResolveArray(destination);
  if (total > 0) EnsureSpan(array.data, array.origin, static_cast<std::uint32_t>(total), false);
  ForgetTextEnd(array.data);
  return static_cast<char*>(ElementPointer(array.data, array.origin));
}

void WriteAt(Var* destination, std::size_t offset, std::string_view bytes, bool terminate) {
  char* at = RoomAt(destination, std::uint64_t{offset} + bytes.size() + (terminate ? 1 : 0)) + offset;
  std::memcpy(at, bytes.data(), bytes.size());
  if (terminate) at[bytes.size()] = '\0';
  KeepTerminated(ResolveArray(destination).data);
}

// [count] copies of [byte] at [offset] in [destination], written in place.
void FillAt(Var* destination, std::size_t offset, std::size_t count, char byte) {
  char* at = RoomAt(destination, std::uint64_t{offset} + count) + offset;
  std::memset(at, byte, count);
  KeepTerminated(ResolveArray(destination).data);
}

// ===================================================================
// Memory
// ===================================================================

void String_memchr(CallFrame& frame) {
  Buffer buffer;
  std::int32_t byte;
  std::uint32_t count;
  if (!GetBuffer(frame, 0, buffer) || !GetInteger(frame, 1, byte) || !GetCount(frame, 2, buffer.length, count)) return;
  count = std::min(count, buffer.length);
  const void* found = count > 0 ? std::memchr(buffer.bytes, byte & 0xFF, count) : nullptr;
  if (found == nullptr) {
    ReturnInt(frame, 0);
  } else {
    ReturnOffset(frame, buffer.var, static_cast<std::int32_t>(static_cast<const std::uint8_t*>(found) - buffer.bytes));
  }
}

// memcmp and memicmp compare min(n, both lengths) bytes.
void String_memcmp(CallFrame& frame) {
  Buffer a, b;
  if (!GetBuffer(frame, 0, a) || !GetBuffer(frame, 1, b)) return;
  std::uint32_t count;
  if (!GetCount(frame, 2, std::min(a.length, b.length), count)) return;
  count = std::min({count, a.length, b.length});
  const bool fold = CalledVariant(frame) == kFoldsCase;
  for (std::uint32_t i = 0; i < count; ++i) {
    int x = fold ? static_cast<unsigned char>(Fold(static_cast<char>(a.bytes[i]))) : a.bytes[i];
    int y = fold ? static_cast<unsigned char>(Fold(static_cast<char>(b.bytes[i]))) : b.bytes[i];
    if (x != y) {
      ReturnInt(frame, x - y);
      return;
    }
  }
  ReturnInt(frame, 0);
}

// memcpy and memmove copy n bytes (zeros beyond the source's end) to the
// start of the destination; the source is read before the destination grows.
void String_memcpy(CallFrame& frame) {
  Buffer source;
  if (!GetBuffer(frame, 1, source)) return;
  std::uint32_t count;
  if (!GetCount(frame, 2, source.length, count)) return;
  std::string bytes(count, '\0');
  std::memcpy(bytes.data(), source.bytes, std::min(count, source.length));
  Var* destination = GetDestination(frame, 0, false);
  if (destination == nullptr) return;
  WriteAt(destination, 0, bytes, false);
  ReturnSame(frame, destination);
}

void String_memset(CallFrame& frame) {
  Var* destination = GetDestination(frame, 0, false);
  std::int32_t byte;
  if (destination == nullptr || !GetInteger(frame, 1, byte)) return;
  std::uint32_t count;
  if (!GetCount(frame, 2, BufferOf(destination).length, count)) return;
  FillAt(destination, 0, count, static_cast<char>(byte));
  ReturnSame(frame, destination);
}

// ===================================================================
// Copying and joining text
// ===================================================================

void String_strcpy(CallFrame& frame) {
  const char* source = GetString(frame, 1);
  if (source == nullptr) return;
  std::string text = source;
  Var* destination = GetDestination(frame, 0, true);
  if (destination == nullptr) return;
  WriteAt(destination, 0, text, true);
  ReturnSame(frame, destination);
}

// strncpy: at most n bytes of the string, then NUL bytes up to n, as C does.
void String_strncpy(CallFrame& frame) {
  const char* source = GetString(frame, 1);
  std::uint32_t count;
  if (source == nullptr || !GetCount(frame, 2, 0, count)) return;
  const std::string text(source, std::min<std::size_t>(std::strlen(source), count));
  Var* destination = GetDestination(frame, 0, true);
  if (destination == nullptr) return;
  if (count >= kMaxArrayBytes) FatalError(MSG_0003);
  WriteAt(destination, 0, text, false);
  FillAt(destination, text.size(), count - text.size(), '\0');
  ReturnSame(frame, destination);
}

// Appends [text] to strcat's destination, which it then returns.
void AppendText(CallFrame& frame, std::string_view text) {
  Var* destination = GetDestination(frame, 0, true);
  if (destination == nullptr) return;
  const std::size_t end = TextLength(destination);
  WriteAt(destination, end, text, true);
  RememberTextEnd(destination, end + text.size());
  ReturnSame(frame, destination);
}

// strcat(destination, string, ...): every further argument in order.
void String_strcat(CallFrame& frame) {
  // OPTIMIZATION: a single piece that is a literal of the program cannot be
  // the destination's own text, so it is written from where it is.
  if (frame.argCount == 2 && frame.args[1]->literal) {
    const char* piece = GetString(frame, 1);
    if (piece == nullptr) return;
    AppendText(frame, piece);
    return;
  }
  std::string pieces;
  for (int i = 1; i < frame.argCount; ++i) {
    const char* piece = GetString(frame, i);
    if (piece == nullptr) return;
    pieces += piece;
  }
  AppendText(frame, pieces);
}

void String_strncat(CallFrame& frame) {
  const char* source = GetString(frame, 1);
  std::uint32_t count;
  if (source == nullptr || !GetCount(frame, 2, 0, count)) return;
  std::string piece(source, std::min<std::size_t>(std::strlen(source), count));
  Var* destination = GetDestination(frame, 0, true);
  if (destination == nullptr) return;
  WriteAt(destination, TextLength(destination), piece, true);
  ReturnSame(frame, destination);
}

// ===================================================================
// Searching
// ===================================================================

void ReturnFound(CallFrame& frame, int i, const char* text, const char* found) {
  if (found == nullptr) {
    ReturnInt(frame, 0);
  } else {
    ReturnOffset(frame, frame.args[i], static_cast<std::int32_t>(found - text));
  }
}

// strchr and strrchr: the terminating NUL can be found too.
void String_strchr(CallFrame& frame) {
  const char* text = GetString(frame, 0);
  std::int32_t byte;
  if (text == nullptr || !GetInteger(frame, 1, byte)) return;
  const char c = static_cast<char>(byte);
  const char* found = CalledVariant(frame) == kFromEnd ? std::strrchr(text, c) : std::strchr(text, c);
  ReturnFound(frame, 0, text, found);
}

void String_strstr(CallFrame& frame) {
  const char* text = GetString(frame, 0);
  const char* wanted = text != nullptr ? GetString(frame, 1) : nullptr;
  if (wanted != nullptr) ReturnFound(frame, 0, text, std::strstr(text, wanted));
}

void String_strpbrk(CallFrame& frame) {
  const char* text = GetString(frame, 0);
  const char* set = text != nullptr ? GetString(frame, 1) : nullptr;
  if (set != nullptr) ReturnFound(frame, 0, text, std::strpbrk(text, set));
}

void String_strspn(CallFrame& frame) {
  const char* text = GetString(frame, 0);
  const char* set = text != nullptr ? GetString(frame, 1) : nullptr;
  if (set == nullptr) return;
  std::size_t span = CalledVariant(frame) == kComplement ? std::strcspn(text, set) : std::strspn(text, set);
  ReturnInt(frame, static_cast<std::int32_t>(span));
}

// ===================================================================
// Comparing and measuring
// ===================================================================

// strcmp, strncmp, and the variants that fold 'A'-'Z' first.
void String_strcmp(CallFrame& frame) {
  const char* a = GetString(frame, 0);
  const char* b = a != nullptr ? GetString(frame, 1) : nullptr;
  if (b == nullptr) return;
  std::uint32_t limit = 0xFFFFFFFFu;
  if (frame.argCount > 2 && !GetCount(frame, 2, 0, limit)) return;
  const bool fold = CalledVariant(frame) == kFoldsCase;
  for (std::uint32_t i = 0; i < limit; ++i) {
    int x = static_cast<unsigned char>(fold ? Fold(a[i]) : a[i]);
    int y = static_cast<unsigned char>(fold ? Fold(b[i]) : b[i]);
    if (x != y || x == 0) {
      ReturnInt(frame, x - y);
      return;
    }
  }
  ReturnInt(frame, 0);
}

// strlen's usual case: a text as GetString takes it.
bool Quick_strlen(Var** args, std::uint32_t, Operand& out) {
  const char* text = PlainText(args[0]);
  if (text == nullptr) return false;
  out.SetScalar(MakeInt(static_cast<std::int32_t>(std::strlen(text))));
  return true;
}

void String_strlen(CallFrame& frame) {
  if (const char* text = GetString(frame, 0)) ReturnInt(frame, static_cast<std::int32_t>(std::strlen(text)));
}

// strlwr and strupr change the string in place and return it.
void String_strlwr(CallFrame& frame) {
  Var* var = GetParameter(frame, 0, PARAM_STRING);
  if (var == nullptr) return;
  const bool lower = CalledVariant(frame) == kToLower;
  ForgetTextEnd(ResolveArray(var).data);
  for (char* at = static_cast<char*>(ElementAddress(var, 0)); *at != '\0'; ++at) {
    if (lower && *at >= 'A' && *at <= 'Z') *at = static_cast<char>(*at - 'A' + 'a');
    if (!lower && *at >= 'a' && *at <= 'z') *at = static_cast<char>(*at - 'a' + 'A');
  }
  ReturnSame(frame, var);
}

void String_strerror(CallFrame& frame) {
  std::int32_t number;
  if (GetInteger(frame, 0, number)) ReturnString(frame, std::strerror(number));
}

// ===================================================================
// strtok
// ===================================================================

// The strings group's state: the text strtok goes on through.
class TokenState {
 public:
  ~TokenState() { Set(nullptr, 0); }
  void Set(Var* text, std::int32_t position) {
    if (saved_ != nullptr) ReleaseVar(saved_);
    saved_ = nullptr;
    if (text != nullptr) {
      ArrayRef array = ResolveArray(text);
      saved_ = NewVarOn(array.data, array.origin, 0);
    }
    position_ = position;
  }
  Var* saved() const { return saved_; }
  std::int32_t position() const { return position_; }
  void Advance(std::int32_t position) { position_ = position; }

  // The separators [delimiters] name, as a table. OPTIMIZATION: made again
  // only when they differ from the last call's (a loop passes the same ones).
  const std::array<bool, 256>& Separators(const char* delimiters) {
    const std::string_view given(delimiters);
    if (given != delimiters_) {
      delimiters_.assign(given);
      separators_.fill(false);
      for (char c : given) separators_[static_cast<unsigned char>(c)] = true;
    }
    return separators_;
  }

 private:
  Var* saved_ = nullptr;
  std::int32_t position_ = 0;
  std::string delimiters_;
  std::array<bool, 256> separators_{};
};

// strtok(string or 0, delimiters): C's strtok on the saved text's own
// storage; the result refers into it, or is 0 when no token is left.
void String_strtok(CallFrame& frame) {
  auto& state = *static_cast<TokenState*>(frame.libraryData);
  Var* first = GetParameter(frame, 0, PARAM_ANY);
  if (first == nullptr) return;
  if (!IsZeroNumber(first)) {
    if (GetParameter(frame, 0, PARAM_STRING) == nullptr) return;
    state.Set(first, 0);
  }
  const char* delimiters = GetString(frame, 1);
  if (delimiters == nullptr) return;
  // The separators as a table, taken before the text changes (they may be
  // part of it).
  const std::array<bool, 256>& separator = state.Separators(delimiters);
  if (state.saved() == nullptr) {
    ReturnInt(frame, 0);
    return;
  }
  Buffer text = BufferOf(state.saved());
  auto position = static_cast<std::uint32_t>(state.position());
  while (position < text.length && text.bytes[position] != 0 && separator[text.bytes[position]]) {
    ++position;
  }
  if (position >= text.length || text.bytes[position] == 0) {
    state.Advance(static_cast<std::int32_t>(position));
    ReturnInt(frame, 0);
    return;
  }
  std::uint32_t end = position;
  while (end < text.length && text.bytes[end] != 0 && !separator[text.bytes[end]]) {
    ++end;
  }
  if (end < text.length && text.bytes[end] != 0) {
    ForgetTextEnd(ResolveArray(state.saved()).data);
    text.bytes[end] = 0;  // the delimiter after the token becomes the token's end
    ++end;
  }
  state.Advance(static_cast<std::int32_t>(end));
  ReturnOffset(frame, state.saved(), static_cast<std::int32_t>(position));
}

void* StartStrings(Context&, void*) { return new TokenState; }
void EndStrings(Context&, void* state) { delete static_cast<TokenState*>(state); }

constexpr LibraryEntry kStringRows[] = {
    {"memchr",   String_memchr,   2, 3},
    {"memcmp",   String_memcmp,   2, 3},
    {"memcpy",   String_memcpy,   2, 3},
    {"memicmp",  String_memcmp,   2, 3, kFoldsCase},
    {"memmove",  String_memcpy,   2, 3},
    {"memset",   String_memset,   2, 3},
    {"strcat",   String_strcat,   2, ARGS_ANY, 0, READS_ALL_BUT_FIRST},
    {"strchr",   String_strchr,   2, 2},
    {"strcmp",   String_strcmp,   2, 2, 0, READS_ALL},
    {"strcmpi",  String_strcmp,   2, 2, kFoldsCase, READS_ALL},
    {"strcpy",   String_strcpy,   2, 2, 0, READS_ALL_BUT_FIRST},
    {"strcspn",  String_strspn,   2, 2, kComplement, READS_ALL},
    {"strerror", String_strerror, 1, 1},
    {"stricmp",  String_strcmp,   2, 2, kFoldsCase, READS_ALL},
    {"strlen",   String_strlen,   1, 1, 0, READS_ALL, Quick_strlen},
    {"strlwr",   String_strlwr,   1, 1, kToLower},
    {"strncat",  String_strncat,  3, 3, 0, READS_ALL_BUT_FIRST},
    {"strncmp",  String_strcmp,   3, 3, 0, READS_ALL},
    {"strncmpi", String_strcmp,   3, 3, kFoldsCase, READS_ALL},
    {"strncpy",  String_strncpy,  3, 3},
    {"strnicmp", String_strcmp,   3, 3, kFoldsCase, READS_ALL},
    {"strpbrk",  String_strpbrk,  2, 2},
    {"strrchr",  String_strchr,   2, 2, kFromEnd},
    {"strspn",   String_strspn,   2, 2, 0, READS_ALL},
    {"strstr",   String_strstr,   2, 2},
    {"strtok",   String_strtok,   2, 2, 0, 0x2},  // the separators are only read
    {"strupr",   String_strlwr,   1, 1},
};

}  // namespace

const LibraryGroup kStringGroup{GROUP_STRING, kStringRows, StartStrings, EndStrings, nullptr};

}  // namespace kel
