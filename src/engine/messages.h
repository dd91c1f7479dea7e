#pragma once
// Raising numbered errors for a run. Every raise names its message and passes
// the arguments its text takes; the compiler checks them against the text.

#include <cstdint>

#include "base/message_table.h"

namespace kel {

struct Context;
struct Var;

// How a raise treats a run that already stopped.
enum class RaiseMode : std::uint8_t {
  UNLESS_FAILED,  // reported unless the run already stopped on an error
  WHILE_RUNNING,  // reported only while the run is running (never during an exit)
  ALWAYS,         // the text is written even after an earlier error
};

namespace message_detail {
bool Raise(Context& context, RaiseMode mode, int id, ...);
}  // namespace message_detail

// The raise functions return false, so that a failing operation ends with
// "return RaiseError(...);". Each sets runState to 1 when it reports, and
// writes the message and the location line. Used by the loader, the
// tokenizer, the engine and the library.

// Reports [message] unless the run already stopped on an error.
template <typename... Args>
bool RaiseError(Context& context, Message<Args...> message, Args... args) {
  return message_detail::Raise(context, RaiseMode::UNLESS_FAILED, message.id(), args...);
}

// Reports [message] only while the run is running, so an exit in progress is
// never turned into an error.
template <typename... Args>
bool RaiseErrorIfRunning(Context& context, Message<Args...> message, Args... args) {
  return message_detail::Raise(context, RaiseMode::WHILE_RUNNING, message.id(), args...);
}

// Writes [message] always (even after an earlier error); the location line
// follows only when no error was reported before.
template <typename... Args>
bool RaiseErrorAlways(Context& context, Message<Args...> message, Args... args) {
  return message_detail::Raise(context, RaiseMode::ALWAYS, message.id(), args...);
}

// Reports [text], a message formatted ahead of time (FormatMessage), as
// [mode] says.
bool RaiseFormatted(Context& context, const char* text, RaiseMode mode);

// Stops the run with an error that has no message: only the location line
// is written (abort).
bool RaiseWithoutMessage(Context& context);

// Writes "Error near: ..." when the current position names a file.
void PrintErrorLocation(Context& context);

// With KEL_TRACE set, after an undefined-value error just reported: when
// [var] is an argument of the running call, the caller's text for it.
void TraceArgument(Context& context, const Var* var);

}  // namespace kel
