// Standard input and output for scripts: streams held in script integers and
// checked on every use, the printf and scanf families, character, line and
// block I/O, positioning, and file management.

#include <cstring>
#include <string>
#include <vector>

#include "base/host.h"
#include "engine/calls.h"
#include "engine/context.h"
#include "engine/macros.h"
#include "engine/messages.h"
#include "engine/scope.h"
#include "engine/value.h"
#include "library/arguments.h"
#include "library/data.h"
#include "library/format.h"
#include "library/groups.h"
#include "library/streams.h"
#include "platform/files.h"

namespace kel {

namespace {

// ===================================================================
// Stream values
// ===================================================================

// A script holds a stream as an integer. Where an address fits in one (a
// 32-bit process) the value is the stream's address, as C code reached
// through a dynamic-link call expects; otherwise it is a number given to one
// stream only, never again, so that the value of a closed stream stays
// invalid. Either way a value is trusted only once the stream table knows it.
constexpr bool kStreamValueIsAddress = sizeof(void*) <= 4;
constexpr std::int32_t kFirstStreamNumber = 0x10000000;
constexpr std::int32_t kStreamNumberCount = 0x40000000;
std::int32_t streamNumbersGiven = 3;  // the standard streams hold the first three

[[maybe_unused]] std::int32_t AddressValue(std::FILE* stream) {
  return static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(stream));
}

std::int32_t StandardStreamValue(int index, std::FILE* stream) {
  if constexpr (kStreamValueIsAddress) return AddressValue(stream);
  return kFirstStreamNumber + index;
}

std::int32_t NewStreamValue(std::FILE* stream) {
  if constexpr (kStreamValueIsAddress) return AddressValue(stream);
  if (streamNumbersGiven == kStreamNumberCount) streamNumbersGiven = 3;  // after a billion streams
  return kFirstStreamNumber + streamNumbersGiven++;
}

// ===================================================================
// The stream table
// ===================================================================

// A standard stream as a run sees it: where it was redirected to, and what
// it referred to before the run redirected it (to put back at the end).
struct StandardSlot {
  std::FILE* stream;
  std::int32_t value;
  const char* variable;
  std::string path;      // empty: not redirected
  int saved = -1;        // set while this run's redirection is in force
};

struct OpenedStream {
  std::int32_t value;
  std::FILE* stream;
  std::string name;  // the path it was opened on, for messages
};

// The group state of standard I/O: the streams a run opened and its
// standard streams. Ending it closes what the run left open and puts back
// what the run redirected.
class StreamTable {
 public:
  StreamTable(Context& run, StreamTable* parent) : parent_(parent), run_(run) {
    std::FILE* const standard[3] = {stdin, stdout, stderr};
    const char* const names[3] = {"stdin", "stdout", "stderr"};
    for (int i = 0; i < 3; ++i) {
      slots_[i] = {standard[i], StandardStreamValue(i, standard[i]), names[i], {}, -1};
      if (parent != nullptr) slots_[i].path = parent->slots_[i].path;
    }
    for (const StandardSlot& slot : slots_) {
      Var* var = run.globals->LookupHere(slot.variable);
      if (var == nullptr) var = run.globals->Create(slot.variable);
      if (SetTypeAndDims(run, var, KEL_INT, 0)) SetInt(var, slot.value);
    }
  }

  // What a stream still held and could not write is reported: the run's
  // output is incomplete, and the run ends as failed.
  ~StreamTable() {
    for (const OpenedStream& opened : opened_) {
      run_.host->ForgetStream(opened.stream);
      const bool written = !std::ferror(opened.stream);
      if (std::fclose(opened.stream) != 0 || !written) RaiseError(run_, MSG_0004, opened.name.c_str());
    }
    for (StandardSlot& slot : slots_) {
      const std::string path = slot.path;
      if (!Restore(slot)) RaiseError(run_, MSG_0004, path.c_str());
    }
    std::fflush(nullptr);
  }

  // The stream [value] stands for: a standard stream, or one opened by this
  // run or an enclosing one; null for any other value.
  std::FILE* Find(std::int32_t value) const {
    for (const StandardSlot& slot : slots_) {
      if (slot.value == value) return slot.stream;
    }
    const OpenedStream* opened = FindOpened([value](const OpenedStream& at) { return at.value == value; });
    return opened != nullptr ? opened->stream : nullptr;
  }

  // The value of [stream], which this run or an enclosing one knows.
  std::int32_t ValueOf(std::FILE* stream) const {
    if (const StandardSlot* slot = SlotOf(stream)) return slot->value;
    const OpenedStream* opened = FindOpened([stream](const OpenedStream& at) { return at.stream == stream; });
    return opened != nullptr ? opened->value : 0;
  }

  // Takes the newly opened [stream] into the table; its script value, or 0
  // when [stream] is null (the open failed).
  std::int32_t Add(std::FILE* stream, const char* name) {
    if (stream == nullptr) return 0;
    opened_.push_back({NewStreamValue(stream), stream, name});
    return opened_.back().value;
  }

  // Removes [stream] from whichever table opened it.
  void Remove(std::FILE* stream) {
    for (StreamTable* table = this; table != nullptr; table = table->parent_) {
      for (auto it = table->opened_.begin(); it != table->opened_.end(); ++it) {
        if (it->stream == stream) {
          table->opened_.erase(it);
          return;
        }
      }
    }
  }

  StandardSlot* SlotOf(std::FILE* stream) {
    for (StandardSlot& slot : slots_) {
      if (slot.stream == stream) return &slot;
    }
    return nullptr;
  }
  const StandardSlot* SlotOf(std::FILE* stream) const { return const_cast<StreamTable*>(this)->SlotOf(stream); }

  bool Redirected(std::FILE* stream) const { return !SlotOf(stream)->path.empty(); }

  bool Redirect(StandardSlot& slot, const char* path, const char* mode) {
    int previous = platform::RedirectStandardStream(slot.stream, run_.host->FileToOpen(path), mode);
    if (previous < 0) return false;
    if (slot.saved < 0) {
      slot.saved = previous;  // what the stream was before this run touched it
    } else {
      platform::ReleaseSavedStream(previous);  // an earlier redirection of this run
    }
    slot.path = path;
    run_.host->NoteStreamName(slot.stream, path);
    return true;
  }

  // Puts a standard stream back as it was before this run redirected it.
  // False when what the redirected stream held could not be written.
  bool Restore(StandardSlot& slot) {
    if (slot.saved < 0) return true;
    const bool written = platform::RestoreStandardStream(slot.stream, slot.saved);
    slot.saved = -1;
    slot.path = parent_ != nullptr ? parent_->SlotOf(slot.stream)->path : std::string();
    run_.host->NoteStreamName(slot.stream, slot.path.empty() ? "CON" : slot.path.c_str());
    return written;
  }

 private:
  // The first stream this run or an enclosing one opened that [matches].
  template <typename Match>
  const OpenedStream* FindOpened(Match matches) const {
    for (const StreamTable* table = this; table != nullptr; table = table->parent_) {
      for (const OpenedStream& opened : table->opened_) {
        if (matches(opened)) return &opened;
      }
    }
    return nullptr;
  }

  StandardSlot slots_[3];
  std::vector<OpenedStream> opened_;
  StreamTable* parent_;
  Context& run_;
};

StreamTable& Streams(CallFrame& frame) { return *static_cast<StreamTable*>(frame.libraryData); }

// The stream in argument [i]: a non-array integer that names a standard
// stream or one opened by this run or an enclosing one.
std::FILE* GetStream(CallFrame& frame, int i) {
  Var* var = GetParameter(frame, i, PARAM_ANY);
  if (var == nullptr) return nullptr;
  if (Arrayness(var) == 0 && var->data->type == KEL_INT) {
    if (std::FILE* stream = Streams(frame).Find(GetInt(var))) return stream;
  }
  RaiseErrorIfRunning(*frame.run, MSG_5102);
  return nullptr;
}

// Line input from the process's standard input reads as the user expects,
// even after a script read single keys.
std::FILE* ForInput(CallFrame& frame, std::FILE* stream) {
  if (stream == stdin) frame.run->host->BeforeStandardInput();
  return stream;
}

// Makes [target] a byte array (a destination) and stores the text in it.
bool StoreText(CallFrame& frame, Var* target, const char* text, std::size_t count) {
  if (!SetTypeAndDims(*frame.run, target, KEL_BYTE, 1)) return false;
  MarkString(ResolveArray(target).data);
  StoreBytes(target, text, count, true);
  return true;
}

// ===================================================================
// Formatted output and input
// ===================================================================

// Writes [count] bytes to [stream]: a file, or the windowed program's console
// window, which takes all or nothing. The bytes written.
std::size_t WriteBytes(CallFrame& frame, std::FILE* stream, const char* bytes, std::size_t count) {
  Host& host = *frame.run->host;
  if (host.IsWindowStream(stream)) return host.WriteWindow(stream, bytes, count) ? count : 0;
  return count > 0 ? std::fwrite(bytes, 1, count, stream) : 0;
}

// Writes [text] to [stream] in one write; the count, or -1 when the stream
// took fewer bytes.
std::int32_t WriteAll(CallFrame& frame, std::FILE* stream, const std::string& text) {
  std::size_t written = WriteBytes(frame, stream, text.data(), text.size());
  return written == text.size() ? static_cast<std::int32_t>(text.size()) : -1;
}

// One byte from [stream]: a file's, or a key typed into the console window.
int ReadByte(CallFrame& frame, std::FILE* stream) {
  Host& host = *frame.run->host;
  if (host.IsWindowStream(stream)) return host.ReadWindowCharacter(*frame.run);
  return std::fgetc(ForInput(frame, stream));
}

// A line typed into the console window, of at most [maximum] - 1 bytes:
// each key is echoed to standard output, a backspace takes back the last one
// (and the carriage return of Enter is passed over). False when the keys
// ended before any arrived.
bool ReadWindowLine(CallFrame& frame, std::int32_t maximum, std::string& line) {
  Host& host = *frame.run->host;
  line.clear();
  int c = 0;
  while (static_cast<std::int32_t>(line.size()) < maximum - 1 && c != '\n') {
    c = host.ReadWindowCharacter(*frame.run);
    if (c == EOF) return !line.empty();
    if (c == '\r' || (c == '\b' && line.empty())) continue;
    if (c == '\b') {
      line.pop_back();
    } else {
      line.push_back(static_cast<char>(c));
    }
    const char echo = static_cast<char>(c);
    WriteBytes(frame, stdout, &echo, 1);
  }
  return true;
}

// Variants of the printf and scanf families, as bits: where the text goes to
// or comes from (a string, a stream, else the standard stream), and whether
// the values come from a va_list.
constexpr std::uint32_t kWithString = 1;
constexpr std::uint32_t kWithStream = 2;
constexpr std::uint32_t kFromList = 4;

bool IsVariant(const CallFrame& frame) { return (CalledVariant(frame) & kFromList) != 0; }

// printf, fprintf, sprintf and their va_list forms share one path: where the
// format stands and where the values come from depend only on the variant.
void Stdio_printf(CallFrame& frame) {
  const bool toString = (CalledVariant(frame) & kWithString) != 0;
  const bool toStream = (CalledVariant(frame) & kWithStream) != 0;
  const int formatAt = toString || toStream ? 1 : 0;
  std::FILE* stream = stdout;
  if (toStream && (stream = GetStream(frame, 0)) == nullptr) return;
  Var* destination = nullptr;
  if (toString && (destination = GetParameter(frame, 0, PARAM_ANY)) == nullptr) return;
  const char* format = GetString(frame, formatAt);
  if (format == nullptr) return;
  std::string text;
  if (IsVariant(frame)) {
    Var* list = GetParameter(frame, formatAt + 1, PARAM_ANY);
    VaListArguments args(frame);
    if (list == nullptr || !args.Open(list) || !FormatText(frame, format, args, text)) return;
  } else {
    PositionalArguments args(frame, formatAt + 1);
    if (!FormatText(frame, format, args, text)) return;
  }
  if (toString) {
    if (!StoreText(frame, destination, text.data(), text.size())) return;
    ReturnInt(frame, static_cast<std::int32_t>(text.size()));
    return;
  }
  ReturnInt(frame, WriteAll(frame, stream, text));
}

void Stdio_scanf(CallFrame& frame) {
  const bool fromString = (CalledVariant(frame) & kWithString) != 0;
  const bool fromStream = (CalledVariant(frame) & kWithStream) != 0;
  const int formatAt = fromString || fromStream ? 1 : 0;
  ScanInput input;
  input.stream = stdin;
  if (fromStream && (input.stream = GetStream(frame, 0)) == nullptr) return;
  if (fromString) {
    input.stream = nullptr;
    if ((input.text = GetString(frame, 0)) == nullptr) return;
  }
  const char* format = GetString(frame, formatAt);
  if (format == nullptr) return;
  std::string formatCopy = format;  // targets may share the format's storage
  if (input.stream != nullptr) ForInput(frame, input.stream);
  bool ok = false;
  int count;
  if (IsVariant(frame)) {
    Var* list = GetParameter(frame, formatAt + 1, PARAM_ANY);
    VaListArguments args(frame);
    if (list == nullptr || !args.Open(list)) return;
    count = ScanText(frame, formatCopy.c_str(), args, input, ok);
  } else {
    PositionalArguments args(frame, formatAt + 1);
    count = ScanText(frame, formatCopy.c_str(), args, input, ok);
  }
  if (ok) ReturnInt(frame, count);
}

// ===================================================================
// Opening and closing
// ===================================================================

// The mode buffer holds 20 bytes with a "+" that may be added and the NUL.
constexpr std::size_t kMaxModeLength = 18;

bool HasMode(const std::string& mode, char c) { return mode.find(c) != std::string::npos; }

// A text file opened for appending loses a last byte 0x1A, which text mode
// reads as the end of the file.
void DropEndOfFileMark(const char* path) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return;
  long size = -1;
  int last = EOF;
  if (std::fseek(file, -1, SEEK_END) == 0) {
    last = std::fgetc(file);
    size = std::ftell(file);
  }
  std::fclose(file);
  if (last == 0x1A && size > 0) platform::TruncateFile(path, size - 1);
}

// Opens [path] with the script's [mode]: append modes without "b" read as
// well and start at the end.
std::FILE* OpenFile(CallFrame& frame, const char* path, const char* scriptMode) {
  std::string mode = scriptMode;
  if (mode.size() > kMaxModeLength) return nullptr;
  const bool textAppend = HasMode(mode, 'a') && !HasMode(mode, 'b');
  if (HasMode(mode, 'a') && !HasMode(mode, 'b') && !HasMode(mode, '+')) mode += '+';
  if (textAppend) DropEndOfFileMark(path);
  std::FILE* stream = std::fopen(frame.run->host->FileToOpen(path), mode.c_str());
  if (stream == nullptr) return nullptr;
  if (HasMode(mode, 'a')) std::fseek(stream, 0, SEEK_END);
  frame.run->host->NoteStreamName(stream, path);
  return stream;
}

void Stdio_fopen(CallFrame& frame) {
  const char* path = GetString(frame, 0);
  const char* mode = path != nullptr ? GetString(frame, 1) : nullptr;
  if (mode == nullptr) return;
  ReturnInt(frame, Streams(frame).Add(OpenFile(frame, path, mode), path));
}

void Stdio_freopen(CallFrame& frame) {
  const char* path = GetString(frame, 0);
  const char* mode = path != nullptr ? GetString(frame, 1) : nullptr;
  std::FILE* stream = mode != nullptr ? GetStream(frame, 2) : nullptr;
  if (stream == nullptr) return;
  StreamTable& streams = Streams(frame);
  if (StandardSlot* slot = streams.SlotOf(stream)) {
    std::string fullMode = mode;
    bool ok = fullMode.size() <= kMaxModeLength && streams.Redirect(*slot, path, mode);
    ReturnInt(frame, ok ? slot->value : 0);
    return;
  }
  if (std::strlen(mode) > kMaxModeLength) {
    ReturnInt(frame, 0);
    return;
  }
  const std::int32_t value = streams.ValueOf(stream);
  frame.run->host->ForgetStream(stream);
  std::FILE* reopened = std::freopen(frame.run->host->FileToOpen(path), mode, stream);
  if (reopened == nullptr) {
    streams.Remove(stream);
    ReturnInt(frame, 0);
    return;
  }
  frame.run->host->NoteStreamName(reopened, path);
  ReturnInt(frame, value);  // C reopens the stream in place: the value stays valid
}

void Stdio_fclose(CallFrame& frame) {
  std::FILE* stream = GetStream(frame, 0);
  if (stream == nullptr) return;
  StreamTable& streams = Streams(frame);
  if (StandardSlot* slot = streams.SlotOf(stream)) {
    // A standard stream is put back, never closed.
    ReturnInt(frame, streams.Restore(*slot) ? 0 : EOF);
    return;
  }
  frame.run->host->ForgetStream(stream);
  streams.Remove(stream);
  ReturnInt(frame, std::fclose(stream));
}

void Stdio_tmpfile(CallFrame& frame) {
  ReturnInt(frame, Streams(frame).Add(std::tmpfile(), "tmpfile()"));
}

void Stdio_tmpnam(CallFrame& frame) {
  std::string name = platform::TemporaryFileName();
  if (frame.argCount > 0) {
    Var* target = GetParameter(frame, 0, PARAM_ANY);
    if (target == nullptr) return;
    if (!IsZeroNumber(target) && !StoreText(frame, target, name.data(), name.size())) return;
  }
  ReturnString(frame, name);
}

void Stdio_remove(CallFrame& frame) {
  const char* path = GetString(frame, 0);
  if (path != nullptr) ReturnInt(frame, std::remove(path));
}

void Stdio_rename(CallFrame& frame) {
  const char* from = GetString(frame, 0);
  std::string old = from != nullptr ? from : "";
  const char* to = from != nullptr ? GetString(frame, 1) : nullptr;
  if (to != nullptr) ReturnInt(frame, std::rename(old.c_str(), to));
}

// ===================================================================
// Characters and lines
// ===================================================================

void Stdio_fgetc(CallFrame& frame) {
  std::FILE* stream = GetStream(frame, 0);
  if (stream != nullptr) ReturnInt(frame, ReadByte(frame, stream));
}

void Stdio_getchar(CallFrame& frame) {
  ForInput(frame, stdin);
  ReturnInt(frame, std::getchar());
}

bool GetByteArgument(CallFrame& frame, int i, int& byte) {
  Var* var = GetParameter(frame, i, PARAM_NUMERIC);
  if (var == nullptr) return false;
  byte = GetInt(var) & 0xFF;
  return true;
}

void Stdio_ungetc(CallFrame& frame) {
  int byte;
  if (!GetByteArgument(frame, 0, byte)) return;
  std::FILE* stream = GetStream(frame, 1);
  if (stream == nullptr) return;
  if (frame.run->host->IsWindowStream(stream)) {
    frame.run->host->UnreadWindowCharacter(byte);
    ReturnInt(frame, byte);
    return;
  }
  ReturnInt(frame, std::ungetc(byte, stream));
}

void Stdio_fputc(CallFrame& frame) {
  int byte;
  if (!GetByteArgument(frame, 0, byte)) return;
  std::FILE* stream = frame.argCount > 1 ? GetStream(frame, 1) : stdout;
  const char character = static_cast<char>(byte);
  if (stream != nullptr) ReturnInt(frame, WriteBytes(frame, stream, &character, 1) == 1 ? 1 : 0);
}

// puts's variant of the handler it shares with fputs.
constexpr std::uint32_t kPuts = 1;

void Stdio_fputs(CallFrame& frame) {
  const char* text = GetString(frame, 0);
  const bool isPuts = CalledVariant(frame) == kPuts;
  std::FILE* stream = text == nullptr ? nullptr : isPuts ? stdout : GetStream(frame, 1);
  if (stream == nullptr) return;
  std::size_t written = WriteBytes(frame, stream, text, std::strlen(text));
  if (isPuts && written == std::strlen(text)) written += WriteBytes(frame, stream, "\n", 1);
  ReturnInt(frame, static_cast<std::int32_t>(written));
}

// Reads a line of at most [maximum] - 1 bytes, as C's fgets does.
// As C's fgets with [maximum]: at most maximum - 1 bytes, up to and with the
// line feed; the text ends at a NUL byte read. A maximum beyond a buffer's
// worth is read byte by byte, so that it costs only the line that arrives.
bool ReadLine(std::FILE* stream, std::int32_t maximum, std::string& line) {
  constexpr std::int32_t kBuffer = 64 * 1024;
  if (maximum < 1) return false;
  if (maximum <= kBuffer) {
    // On the heap: a handler's frame stays small beside the stack guard.
    std::vector<char> buffer(static_cast<std::size_t>(maximum));
    if (std::fgets(buffer.data(), maximum, stream) == nullptr) return false;
    line = buffer.data();
    return true;
  }
  line.clear();
  bool cut = false;  // a NUL byte ended the text; the line is still read to its end
  for (std::int32_t i = 0; i < maximum - 1; ++i) {
    const int c = std::getc(stream);
    if (c == EOF) {
      if (i == 0) return false;
      break;
    }
    cut = cut || c == '\0';
    if (!cut) line.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  return true;
}

// fgets(stream), fgets(destination, stream), fgets(destination, maximum, stream)
void Stdio_fgets(CallFrame& frame) {
  std::FILE* stream = GetStream(frame, frame.argCount - 1);
  if (stream == nullptr) return;
  Var* destination = frame.argCount > 1 ? GetParameter(frame, 0, PARAM_ANY) : nullptr;
  std::int32_t maximum = 1000;
  if (frame.argCount == 3) {
    Var* limit = GetParameter(frame, 1, PARAM_NUMERIC);
    if (limit == nullptr) return;
    maximum = GetInt(limit);
  }
  std::string line;
  const bool window = frame.run->host->IsWindowStream(stream);
  if (!(window ? ReadWindowLine(frame, maximum, line) : ReadLine(ForInput(frame, stream), maximum, line))) {
    ReturnInt(frame, 0);
    return;
  }
  if (destination != nullptr && !StoreText(frame, destination, line.data(), line.size())) return;
  ReturnString(frame, line);
}

void Stdio_gets(CallFrame& frame) {
  Var* destination = frame.argCount > 0 ? GetParameter(frame, 0, PARAM_ANY) : nullptr;
  if (frame.argCount > 0 && destination == nullptr) return;
  std::string line;
  const bool window = frame.run->host->IsWindowStream(stdin);
  if (!(window ? ReadWindowLine(frame, 1000, line) : ReadLine(ForInput(frame, stdin), 1000, line))) {
    ReturnInt(frame, 0);
    return;
  }
  if (!line.empty() && line.back() == '\n') line.pop_back();
  if (destination != nullptr && !StoreText(frame, destination, line.data(), line.size())) return;
  ReturnString(frame, line);
}

// ===================================================================
// Positions and state
// ===================================================================

void Stdio_fseek(CallFrame& frame) {
  std::FILE* stream = GetStream(frame, 0);
  Var* offset = stream != nullptr ? GetParameter(frame, 1, PARAM_NUMERIC) : nullptr;
  if (offset == nullptr) return;
  int whence = SEEK_SET;
  if (frame.argCount > 2) {
    Var* from = GetParameter(frame, 2, PARAM_NUMERIC);
    if (from == nullptr) return;
    whence = GetInt(from);
  }
  ReturnInt(frame, std::fseek(stream, GetInt(offset), whence));
}

// The position of [stream] as a 32-bit long holds it: -1 beyond its range,
// as a C library with such a long reports a position it cannot return.
std::int32_t PositionOf(std::FILE* stream) {
  const long position = std::ftell(stream);
  return position >= 0 && position <= INT32_MAX ? static_cast<std::int32_t>(position) : -1;
}

void Stdio_ftell(CallFrame& frame) {
  std::FILE* stream = GetStream(frame, 0);
  if (stream != nullptr) ReturnInt(frame, PositionOf(stream));
}

// The position a script holds is a 4-byte array with the byte offset, so it
// never depends on the size of the C library's fpos_t.
void Stdio_fgetpos(CallFrame& frame) {
  std::FILE* stream = GetStream(frame, 0);
  Var* target = stream != nullptr ? GetParameter(frame, 1, PARAM_ANY) : nullptr;
  if (target == nullptr) return;
  const std::int32_t offset = PositionOf(stream);
  if (offset < 0) {
    ReturnInt(frame, -1);
    return;
  }
  char bytes[4];
  std::memcpy(bytes, &offset, 4);
  if (!SetTypeAndDims(*frame.run, target, KEL_BYTE, 1)) return;
  StoreBytes(target, bytes, 4, false);
  ReturnInt(frame, 0);
}

void Stdio_fsetpos(CallFrame& frame) {
  std::FILE* stream = GetStream(frame, 0);
  Var* position = stream != nullptr ? GetParameter(frame, 1, PARAM_ANY) : nullptr;
  if (position == nullptr) return;
  bool valid = Arrayness(position) == 1 && position->data->type == KEL_BYTE;
  std::int32_t offset = 0;
  if (valid) {
    ArrayRef array = ResolveArray(position);
    std::int64_t last = static_cast<std::int64_t>(array.data->minIndex) + array.data->elemCount - 1;
    valid = array.data->payload.elements != nullptr && array.origin >= array.data->minIndex && last - array.origin >= 3;
    if (valid) std::memcpy(&offset, ElementPointer(array.data, array.origin), 4);
  }
  if (!valid) {
    RaiseErrorIfRunning(*frame.run, MSG_5110);
    return;
  }
  ReturnInt(frame, std::fseek(stream, offset, SEEK_SET));
}

void Stdio_rewind(CallFrame& frame) {
  if (std::FILE* stream = GetStream(frame, 0)) std::rewind(stream);
}

void Stdio_clearerr(CallFrame& frame) {
  if (std::FILE* stream = GetStream(frame, 0)) std::clearerr(stream);
}

void Stdio_feof(CallFrame& frame) {
  if (std::FILE* stream = GetStream(frame, 0)) ReturnInt(frame, std::feof(stream));
}

void Stdio_ferror(CallFrame& frame) {
  if (std::FILE* stream = GetStream(frame, 0)) ReturnInt(frame, std::ferror(stream));
}

void Stdio_fflush(CallFrame& frame) {
  Var* var = GetParameter(frame, 0, PARAM_ANY);
  if (var == nullptr) return;
  if (IsZeroNumber(var)) {
    ReturnInt(frame, std::fflush(nullptr));
    return;
  }
  if (std::FILE* stream = GetStream(frame, 0)) ReturnInt(frame, std::fflush(stream));
}

void Stdio_perror(CallFrame& frame) {
  const char* text = nullptr;
  if (frame.argCount > 0) {
    Var* var = GetParameter(frame, 0, PARAM_ANY);
    if (var == nullptr) return;
    if (!IsZeroNumber(var) && (text = GetString(frame, 0)) == nullptr) return;
  }
  std::fflush(stdout);
  std::perror(text);
}

// ===================================================================
// Blocks
// ===================================================================

void Stdio_fread(CallFrame& frame) {
  Var* target = GetParameter(frame, 0, PARAM_ANY);
  Var* description = target != nullptr ? GetParameter(frame, 1, PARAM_ANY) : nullptr;
  std::FILE* stream = description != nullptr ? GetStream(frame, 2) : nullptr;
  if (stream == nullptr) return;
  std::uint32_t size = 0;
  if (!DescriptionSize(frame, description, size)) return;
  std::vector<std::uint8_t> bytes;
  std::size_t arrived = 0;
  if (frame.run->host->IsWindowStream(stream)) {
    // Keys, until the block is full or they end.
    for (int c; arrived < size && (c = ReadByte(frame, stream)) != EOF; ++arrived) {
      bytes.push_back(static_cast<std::uint8_t>(c));
    }
  } else {
    arrived = ReadBlock(ForInput(frame, stream), size, bytes);
  }
  const bool isCount = IsByteCount(description);
  if (isCount) {
    if (!ReadValue(frame, bytes.data(), static_cast<std::uint32_t>(arrived), description, target, true)) return;
    ReturnInt(frame, static_cast<std::int32_t>(arrived));
    return;
  }
  if (arrived == size && !ReadValue(frame, bytes.data(), size, description, target, false)) return;
  ReturnInt(frame, arrived == size ? 1 : 0);
}

void Stdio_fwrite(CallFrame& frame) {
  Var* source = GetParameter(frame, 0, PARAM_ANY);
  Var* description = source != nullptr ? GetParameter(frame, 1, PARAM_ANY) : nullptr;
  std::FILE* stream = description != nullptr ? GetStream(frame, 2) : nullptr;
  if (stream == nullptr) return;
  std::size_t written = 0;
  if (frame.run->host->IsWindowStream(stream)) {
    std::uint32_t size = 0;
    if (!DescriptionSize(frame, description, size)) return;
    std::vector<std::uint8_t> area(size + 1);
    if (!WriteValue(frame, source, description, area.data(), size)) return;
    written = WriteBytes(frame, stream, reinterpret_cast<const char*>(area.data()), size);
  } else if (!WriteBlock(frame, source, description, stream, written)) {
    return;
  }
  if (IsByteCount(description)) {
    ReturnInt(frame, static_cast<std::int32_t>(written));
  } else {
    std::uint32_t size = 0;
    static_cast<void>(DescriptionSize(frame, description, size));
    ReturnInt(frame, written == size ? 1 : 0);
  }
}

// ===================================================================
// The group
// ===================================================================

}  // namespace

bool StandardInputRedirected(const Context& run) {
  const auto* table = static_cast<const StreamTable*>(run.groupStates[GROUP_STDIO]);
  return table != nullptr && table->Redirected(stdin);
}

namespace {

void* StartStdio(Context& run, void* parentState) { return new StreamTable(run, static_cast<StreamTable*>(parentState)); }

void EndStdio(Context&, void* state) { delete static_cast<StreamTable*>(state); }

void StdioConstants(MacroTable& macros) {
  macros.Define("EOF", -1L);
  macros.Define("SEEK_SET", 0L);
  macros.Define("SEEK_CUR", 1L);
  macros.Define("SEEK_END", 2L);
}

constexpr LibraryEntry kStdioRows[] = {
    {"freopen",  Stdio_freopen,  3, 3},
    {"getchar",  Stdio_getchar,  0, 0},
    {"gets",     Stdio_gets,     0, 1},
    {"perror",   Stdio_perror,   0, 1},
    {"printf",   Stdio_printf,   1, ARGS_ANY, 0, READS_ALL},
    {"putchar",  Stdio_fputc,    1, 1},
    {"puts",     Stdio_fputs,    1, 1, kPuts, READS_ALL},
    {"scanf",    Stdio_scanf,    1, ARGS_ANY},
    {"vprintf",  Stdio_printf,   2, 2, kFromList},
    {"vscanf",   Stdio_scanf,    2, 2, kFromList},
    {"clearerr", Stdio_clearerr, 1, 1},
    {"fclose",   Stdio_fclose,   1, 1},
    {"feof",     Stdio_feof,     1, 1},
    {"ferror",   Stdio_ferror,   1, 1},
    {"fflush",   Stdio_fflush,   1, 1},
    {"fgetc",    Stdio_fgetc,    1, 1},
    {"fgetpos",  Stdio_fgetpos,  2, 2},
    {"fgets",    Stdio_fgets,    1, 3},
    {"fopen",    Stdio_fopen,    2, 2},
    {"fprintf",  Stdio_printf,   2, ARGS_ANY, kWithStream, READS_ALL},
    {"fputc",    Stdio_fputc,    2, 2},
    {"fputs",    Stdio_fputs,    2, 2, 0, READS_ALL},
    {"fread",    Stdio_fread,    3, 3},
    {"fscanf",   Stdio_scanf,    2, ARGS_ANY, kWithStream},
    {"fseek",    Stdio_fseek,    2, 3},
    {"fsetpos",  Stdio_fsetpos,  2, 2},
    {"ftell",    Stdio_ftell,    1, 1},
    {"fwrite",   Stdio_fwrite,   3, 3},
    {"getc",     Stdio_fgetc,    1, 1},
    {"putc",     Stdio_fputc,    2, 2},
    {"remove",   Stdio_remove,   1, 1},
    {"rename",   Stdio_rename,   2, 2},
    {"rewind",   Stdio_rewind,   1, 1},
    {"sprintf",  Stdio_printf,   2, ARGS_ANY, kWithString, READS_ALL_BUT_FIRST},
    {"sscanf",   Stdio_scanf,    2, ARGS_ANY, kWithString},
    {"tmpfile",  Stdio_tmpfile,  0, 0},
    {"tmpnam",   Stdio_tmpnam,   0, 1},
    {"ungetc",   Stdio_ungetc,   2, 2},
    {"vfprintf", Stdio_printf,   3, 3, kWithStream | kFromList},
    {"vfscanf",  Stdio_scanf,    3, 3, kWithStream | kFromList},
    {"vsprintf", Stdio_printf,   3, 3, kWithString | kFromList},
    {"vsscanf",  Stdio_scanf,    3, 3, kWithString | kFromList},
};

}  // namespace

const LibraryGroup kStdioGroup{GROUP_STDIO, kStdioRows, StartStdio, EndStdio, StdioConstants};

}  // namespace kel
