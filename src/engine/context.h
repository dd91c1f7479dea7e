#pragma once
// The interpreter context: one top-level instance per process and one child
// per run, holding the tables a run sees and its error state.

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "engine/environment.h"
#include "engine/functions.h"
#include "engine/macros.h"
#include "engine/scope.h"

namespace kel {

class Host;
struct Token;
struct CallFrame;

enum RunState : std::uint16_t {
  RUN_RUNNING = 0,
  RUN_ERROR = 1,  // stopped by an error
  RUN_EXIT = 2,   // stopped by a request to exit
};

// Which tables a context created and must free.
enum OwnsFlags : std::uint8_t {
  OWNS_DEFINES = 0x01,
  OWNS_GLOBALS = 0x02,
  OWNS_FUNCTIONS = 0x04,
  OWNS_RESOURCES = 0x08,
  OWNS_END_HOOKS = 0x10,
  OWNS_ALL = 0x1F,
};

// A callback with its data, run when a context ends.
struct ContextHook {
  void (*callback)(Context& context, void* data);
  void* data;
};

// Where in the script something happened: the file (null for code given as
// text) and the line.
struct SourcePosition {
  const char* file;
  std::uint32_t line;
};

// The file and line [token] stands on, from the markers before it ({null, 0}
// when there are none).
SourcePosition PositionOf(const Token* token);

struct Context {
  // The top-level context of the process: owns every table.
  explicit Context(Host* host);
  // A run's context inside [parent], creating the tables named in [owns] and
  // sharing the parent's others.
  Context(Context& parent, std::uint8_t owns);
  ~Context();
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  MacroTable* defines;
  VarList* globals;
  VarList* environment;  // shared by every context of the process
  EnvBlock* envBlock;
  FunctionTable* functions;
  BuiltinServices builtins;  // the built-in library, shared by every run
  Host* host;
  Context* parent = nullptr;
  Context* child = nullptr;
  std::uint32_t depth = 0;  // contexts above this one
  std::uint8_t owns;
  std::uint16_t runState = RUN_RUNNING;
  std::int32_t exitCode = 0;

  // The engine's call stack: the innermost executing call of this run, and
  // a count that gives every call of the run a number of its own.
  CallFrame* frame = nullptr;
  std::uint32_t callSerial = 0;
  // The token being run, from which an error finds its file and line.
  const Token* position = nullptr;

  // A nested run's view of the locals of the script function that started it
  // (Interpret): the run's global code binds their names before globals.
  CallFrame* callerFrame = nullptr;
  // Global scopes set aside for nested runs that shared this run's function
  // table: a function such a run defined may have bound names in them, so
  // they live as long as this context.
  std::vector<std::unique_ptr<VarList>> lentScopes;

  // The state of each library group for this run (shared with the parent
  // unless this context owns its resources), and whether this context
  // started them.
  void* groupStates[16] = {};
  bool startedGroups = false;

  // Run when the context is destroyed: first the end hooks (atexit functions,
  // newest first: they are kept at the front), then the resources.
  std::deque<ContextHook> endHooks;
  std::vector<ContextHook> resources;

  // While a program loads, the tokenizer's current file (null for code text)
  // and line; afterwards the position comes from the token being run (no
  // location while no token of the run has been reached).
  bool loading = false;
  const char* loadFile = nullptr;
  std::uint32_t loadLine = 0;

  SourcePosition CurrentPosition() const;

  // Runs the end hooks (the newest first) with the run state set to running,
  // and empties the list; the state the hooks left, before the run's own
  // state is put back.
  std::uint16_t RunEndHooks();

 private:
  std::unique_ptr<MacroTable> ownDefines_;
  std::unique_ptr<VarList> ownGlobals_;
  std::unique_ptr<VarList> ownEnvironment_;
  std::unique_ptr<EnvBlock> ownEnvBlock_;
  std::unique_ptr<FunctionTable> ownFunctions_;
};

// Asks the run of [context] to stop with [code] as its exit code, unless it is
// already stopping.
void ExitRequest(Context& context, std::int32_t code);

}  // namespace kel
