// Interpreter contexts: creation, the position of errors, and destruction in
// the order that lets end hooks still see the run's tables.

#include "front/context.h"

#include "front/token.h"

namespace kel {

Context::Context(Host* hostObject)
    : ownDefines_(std::make_unique<MacroTable>(nullptr)),
      ownFunctions_(std::make_unique<FunctionTable>(nullptr)) {
  host = hostObject;
  owns = OWNS_ALL;
  defines = ownDefines_.get();
  functions = ownFunctions_.get();
}

Context::Context(Context& parentContext, std::uint8_t ownsFlags) {
  host = parentContext.host;
  parent = &parentContext;
  owns = ownsFlags;
  defines = parentContext.defines;
  functions = parentContext.functions;
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

Context::~Context() {
  ownFunctions_.reset();
  ownDefines_.reset();
  if (parent != nullptr && parent->child == this) parent->child = nullptr;
}

SourcePosition Context::CurrentPosition() const {
  if (loading) return {loadFile, loadLine};
  SourcePosition position{nullptr, 0};
  const Token* at = LastMarkerPassed;
  while (at != nullptr && at->code != TOK_LINE) at = at->prev;
  if (at == nullptr) return position;
  position.line = at->data.line;
  while (at != nullptr && at->code != TOK_FILE) at = at->prev;
  if (at != nullptr) position.file = at->data.text;
  return position;
}

void ExitRequest(Context& context, std::int32_t code) {
  if (context.runState != RUN_RUNNING) return;
  context.runState = RUN_EXIT;
  context.exitCode = code;
}

}  // namespace kel
