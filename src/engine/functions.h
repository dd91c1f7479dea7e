#pragma once
// The function table: script functions loaded for a run and records of the
// built-ins that calls have resolved.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kel {

struct Token;
struct CallFrame;
struct Var;
class Operand;
struct FunctionRecord;
class CompiledBody;

// The name under which the code outside all functions is registered.
inline constexpr std::string_view kGlobalInitName = ":Global Initialization:";

// A built-in's row in the library's tables, as the engine calls it.
using Handler = void (*)(CallFrame& frame);
// A built-in's usual case done without a frame: the [count] arguments
// [args], as many as the row allows, to [out]. False, with nothing done,
// for anything it leaves to the handler, which also reports every error.
using QuickHandler = bool (*)(Var** args, std::uint32_t count, Operand& out);

// ARGS_ANY as the maximum: no upper limit.
constexpr std::uint8_t ARGS_ANY = 255;

struct LibraryEntry {
  const char* name;
  Handler handler;
  std::uint8_t minArgs;
  std::uint8_t maxArgs;
  // Which variant of its handler the row is, for names that share one
  // handler (sprintf and fprintf, strcmp and stricmp): a number the group
  // defines, 0 for the plain one. Handlers never look at their own name.
  std::uint32_t variant = 0;
  // OPTIMIZATION: the arguments the handler only reads (bit i for argument i;
  // bit 31 stands for it and every later one). A literal given for such an
  // argument is passed as it is: the copy a call makes of it could not be
  // told apart.
  std::uint32_t readOnly = 0;
  // OPTIMIZATION: a built-in called in the inner loops of scripts (a
  // structure used as a dictionary) skips the frame, the argument counts and
  // the handler's checks when its arguments are the usual ones.
  QuickHandler quick = nullptr;
};

constexpr std::uint32_t READS_ALL = 0xFFFFFFFFu;
constexpr std::uint32_t READS_ALL_BUT_FIRST = 0xFFFFFFFEu;

// How the engine reaches the built-in library: the library gives the
// process's top context these when it registers, and every run inherits them.
struct BuiltinServices {
  FunctionRecord* (*find)(std::string_view name) = nullptr;
  void (*call)(CallFrame& frame) = nullptr;
};

enum FunctionKind : std::uint8_t { FUNCTION_BUILTIN = 0, FUNCTION_SCRIPT = 1 };

struct FunctionRecord {
  FunctionRecord* next = nullptr;
  std::string name;
  std::uint8_t kind = FUNCTION_SCRIPT;
  Token* body = nullptr;                // script: the "{" that opens the body
  const LibraryEntry* entry = nullptr;  // built-in: its table row
  std::int32_t resolved = 0;            // script: 1 once the names are bound
  std::uint8_t group = 0;               // built-in: the library group of its row
  std::uint32_t paramCount = 0;
  std::uint32_t nameCount = 0;
  std::vector<std::string> names;  // parameters (last first), then locals
  std::unique_ptr<CompiledBody> compiled;  // the parsed body, made at the first call
  // What holds the record besides its table: running calls, an atexit
  // registration, a sort's comparison. A record that leaves its table while
  // held is only retired, and the last release frees it, so a nested run that
  // redefines a running function never frees the code being run.
  std::uint32_t holds = 0;
  bool retired = false;

  FunctionRecord();
  ~FunctionRecord();  // frees the token list of a script function
};

// Changes whenever a script function leaves a table (redefined, removed, or
// its run ended): a call site that found its function before finds it again.
extern std::uint32_t FunctionEpoch;

inline void HoldFunction(FunctionRecord* function) { ++function->holds; }
// Frees a retired record whose last hold is gone.
void FreeRetiredFunction(FunctionRecord* function);
// Drops one hold; a retired record is freed with its last.
inline void ReleaseFunction(FunctionRecord* function) {
  if (--function->holds == 0 && function->retired) [[unlikely]] FreeRetiredFunction(function);
}

// The script functions of one run, newest first; lookups fall back to the
// table of the enclosing run.
class FunctionTable {
 public:
  explicit FunctionTable(FunctionTable* parent) : parent_(parent) {}
  ~FunctionTable();
  FunctionTable(const FunctionTable&) = delete;
  FunctionTable& operator=(const FunctionTable&) = delete;

  // Adds a script function named [name] whose body starts at [body] (which the
  // record then owns). An earlier script function of that name in this table is
  // removed first, so the last definition loaded wins; the global
  // initialization code is never replaced this way.
  FunctionRecord* Define(std::string_view name, Token* body);

  // The newest script function named [name] here or in an enclosing table.
  FunctionRecord* Find(std::string_view name) const;

  // Removes and frees the newest record named [name] of this table.
  void Remove(std::string_view name);
  // Removes and frees [record] when it is one of this table's.
  void Remove(const FunctionRecord* record);

  FunctionRecord* First() const { return head_; }

 private:
  FunctionRecord* head_ = nullptr;
  FunctionTable* parent_;
};

}  // namespace kel
