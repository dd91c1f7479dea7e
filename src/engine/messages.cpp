// The raising of numbered errors for a run.

#include "engine/messages.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/host.h"
#include "engine/calls.h"
#include "engine/context.h"
#include "engine/functions.h"
#include "engine/token.h"

namespace kel {

namespace {

// With KEL_TRACE set, the calls that led to an error, innermost first, each
// with where it was called from, follow the location line.
bool Tracing() {
  static const bool tracing = [] {
    const char* value = std::getenv("KEL_TRACE");
    return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
  }();
  return tracing;
}

void PrintCallChain(Context& context) {
  if (!Tracing() || context.loading) return;
  char buffer[kMessageBufferSize];
  for (const CallFrame* frame = context.frame; frame != nullptr; frame = frame->caller) {
    const SourcePosition at = PositionOf(frame->callSite);
    if (frame->caller == nullptr || at.file == nullptr) {
      std::snprintf(buffer, sizeof buffer, "  in \"%s\"", frame->function->name.c_str());
    } else {
      std::snprintf(buffer, sizeof buffer, "  in \"%s\", called at File \"%s\", Line Number %u",
                    frame->function->name.c_str(), at.file, static_cast<unsigned>(at.line));
    }
    context.host->WriteErrorLocation(buffer);
  }
}

// True when a raise in [mode] reports anything in the run's present state.
bool Reports(const Context& context, RaiseMode mode) {
  if (mode == RaiseMode::WHILE_RUNNING) return context.runState == RUN_RUNNING;
  if (mode == RaiseMode::UNLESS_FAILED) return context.runState != RUN_ERROR;
  return true;
}

// Sets the error state and writes [text] (when not null) and the location,
// as [mode] says.
bool Report(Context& context, const char* text, RaiseMode mode) {
  if (!Reports(context, mode)) return false;
  const std::uint16_t state = context.runState;
  if (text != nullptr) context.host->WriteErrorMessage(text);
  if (state == RUN_ERROR) return false;  // ALWAYS after an earlier error: the text only
  context.runState = RUN_ERROR;
  PrintErrorLocation(context);
  PrintCallChain(context);
  return false;
}

}  // namespace

namespace message_detail {

bool Raise(Context& context, RaiseMode mode, int id, ...) {
  if (!Reports(context, mode)) return false;  // nothing to format
  char buffer[kMessageBufferSize];
  std::va_list args;
  va_start(args, id);
  std::vsnprintf(buffer, sizeof buffer, MessageText(static_cast<MessageId>(id)), args);
  va_end(args);
  return Report(context, buffer, mode);
}

}  // namespace message_detail

bool RaiseFormatted(Context& context, const char* text, RaiseMode mode) { return Report(context, text, mode); }

bool RaiseWithoutMessage(Context& context) { return Report(context, nullptr, RaiseMode::UNLESS_FAILED); }

void TraceArgument(Context& context, const Var* var) {
  const CallFrame* frame = context.frame;
  if (!Tracing() || context.loading || frame == nullptr || var == nullptr) return;
  for (std::int32_t k = 0; k < frame->argCount; ++k) {
    if (frame->args[k] != var) continue;
    const std::string text = ArgumentText(*frame, k);
    if (text.empty()) return;
    char buffer[kMessageBufferSize];
    std::snprintf(buffer, sizeof buffer, "  argument %d of \"%s\" was given as: %s", static_cast<int>(k + 1),
                  frame->function->name.c_str(), text.c_str());
    context.host->WriteErrorLocation(buffer);
    return;
  }
}

void PrintErrorLocation(Context& context) {
  SourcePosition position = context.CurrentPosition();
  if (position.file == nullptr) return;
  char buffer[kMessageBufferSize];
  std::snprintf(buffer, sizeof buffer, MessageText(MSG_LOCATION), position.file,
                static_cast<unsigned>(position.line));
  context.host->WriteErrorLocation(buffer);
}

}  // namespace kel
