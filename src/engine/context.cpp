// Interpreter contexts: creation, the position of errors, and destruction in
// the order that lets end hooks still see the run's tables.

#include "engine/context.h"

#include <algorithm>
#include <iterator>

#include "engine/token.h"

namespace kel {

Context::Context(Host* hostObject)
    : ownDefines_(std::make_unique<MacroTable>(nullptr)),
      ownGlobals_(std::make_unique<VarList>(nullptr)),
      ownEnvironment_(std::make_unique<VarList>(nullptr)),
      ownEnvBlock_(std::make_unique<EnvBlock>()),
      ownFunctions_(std::make_unique<FunctionTable>(nullptr)) {
  host = hostObject;
  owns = OWNS_ALL;
  defines = ownDefines_.get();
  globals = ownGlobals_.get();
  environment = ownEnvironment_.get();
  envBlock = ownEnvBlock_.get();
  functions = ownFunctions_.get();
}

Context::Context(Context& parentContext, std::uint8_t ownsFlags) {
  host = parentContext.host;
  builtins = parentContext.builtins;
  parent = &parentContext;
  depth = parentContext.depth + 1;
  owns = ownsFlags;
  defines = parentContext.defines;
  globals = parentContext.globals;
  environment = parentContext.environment;
  envBlock = parentContext.envBlock;
  functions = parentContext.functions;
  // The library's states too: a run that starts no states of its own (a
  // nested load) works with its parent's streams and clock.
  std::copy(std::begin(parentContext.groupStates), std::end(parentContext.groupStates), std::begin(groupStates));
  if (owns & OWNS_GLOBALS) {
    ownGlobals_ = std::make_unique<VarList>(parentContext.globals);
    globals = ownGlobals_.get();
  }
  if (owns & OWNS_DEFINES) {
    ownDefines_ = std::make_unique<MacroTable>(parentContext.defines);
    defines = ownDefines_.get();
  }
  if (owns & OWNS_FUNCTIONS) {
    ownFunctions_ = std::make_unique<FunctionTable>(parentContext.functions);
    functions = ownFunctions_.get();
  }
  parentContext.child = this;
}

// End hooks see a running context and every table of the run. A hook may add
// hooks (atexit inside an atexit function): they are taken from the head, so
// those run next and none is left behind.
std::uint16_t Context::RunEndHooks() {
  const std::uint16_t state = runState;
  runState = RUN_RUNNING;
  while (!endHooks.empty()) {
    const ContextHook hook = endHooks.front();
    endHooks.pop_front();
    hook.callback(*this, hook.data);
  }
  const std::uint16_t ended = runState;
  runState = state;
  return ended;
}

Context::~Context() {
  RunEndHooks();
  for (const ContextHook& hook : resources) hook.callback(*this, hook.data);
  ownFunctions_.reset();
  ownGlobals_.reset();
  ownDefines_.reset();
  if (parent != nullptr && parent->child == this) parent->child = nullptr;
  ownEnvironment_.reset();
  ownEnvBlock_.reset();
}

SourcePosition Context::CurrentPosition() const {
  if (loading) return {loadFile, loadLine};
  return PositionOf(position);
}

SourcePosition PositionOf(const Token* token) {
  SourcePosition result{nullptr, 0};
  const Token* at = token;
  while (at != nullptr && at->code != TOK_LINE) at = at->prev;
  if (at == nullptr) return result;
  result.line = at->data.line;
  while (at != nullptr && at->code != TOK_FILE) at = at->prev;
  if (at != nullptr) result.file = at->data.text;
  return result;
}

void ExitRequest(Context& context, std::int32_t code) {
  if (context.runState != RUN_RUNNING) return;
  context.runState = RUN_EXIT;
  context.exitCode = code;
}

}  // namespace kel
