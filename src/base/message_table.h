#pragma once
// The message table: every text the interpreter reports, indexed by MessageId,
// checked against the arguments each use passes, formatted, or shown as the
// fatal message that ends the process.

#include <cstdint>
#include <string>
#include <type_traits>

#include "base/message_texts.h"

namespace kel {

// ===================================================================
// Messages checked against their texts
// ===================================================================

namespace message_check {

// What a printf directive of the table takes: 'i' an int (%d %u %c %X and
// their widths), 's' a text (%s). Anything else matches nothing.
template <typename T>
consteval char KindOf() {
  if constexpr (std::is_enum_v<T>) return sizeof(T) <= sizeof(int) ? 'i' : '?';
  if constexpr (std::is_integral_v<T>) return sizeof(T) <= sizeof(int) ? 'i' : '?';
  if constexpr (std::is_convertible_v<T, const char*>) return 's';
  return '?';
}

// True when the directives of [format] take exactly [kinds], in order.
consteval bool Takes(const char* format, const char* kinds) {
  for (; *format != '\0'; ++format) {
    if (*format != '%') continue;
    ++format;
    if (*format == '%') continue;
    while (*format == '-' || *format == '+' || *format == ' ' || *format == '#' || *format == '.' ||
           (*format >= '0' && *format <= '9')) {
      ++format;
    }
    char wanted = *format == 's' ? 's' : *format == 'd' || *format == 'i' || *format == 'u' || *format == 'c' ||
                                            *format == 'x' || *format == 'X' ? 'i' : '!';
    if (*kinds == '\0' || *kinds != wanted) return false;
    ++kinds;
  }
  return *kinds == '\0';
}

}  // namespace message_check

// A message identifier whose text takes exactly [Args]: made only from an
// identifier known when the program is compiled, and refused by the compiler
// when the arguments do not fit the text.
template <typename... Args>
class CheckedMessage {
 public:
  consteval CheckedMessage(MessageId id) : id_(id) {
    constexpr char kinds[] = {message_check::KindOf<Args>()..., '\0'};
    if (id >= MSG_COUNT || !message_check::Takes(kMessageTexts[id], kinds)) {
      throw "the arguments do not fit the message's text";
    }
  }
  MessageId id() const { return id_; }

 private:
  MessageId id_;
};

// The parameter form of a checked message, so that [Args] come from the
// arguments that follow it.
template <typename... Args>
using Message = std::type_identity_t<CheckedMessage<Args...>>;

// Messages are formatted into a fixed buffer: reporting must work when memory
// is exhausted. Longer texts (a long file name in 0001) are cut.
constexpr int kMessageBufferSize = 1200;

// The identifier is passed as an int: va_start must not follow a parameter
// that is promoted.
namespace message_detail {
std::string Format(int id, ...);
[[noreturn]] void Fatal(int id, ...);
}  // namespace message_detail

// The text of [id] (a printf format for the numbered messages).
const char* MessageText(MessageId id);

// The text of [message] with [args] in it.
template <typename... Args>
std::string FormatMessage(Message<Args...> message, Args... args) {
  return message_detail::Format(message.id(), args...);
}

// Shows [message] through the process's host and ends the process with 255.
// Never allocates, so it serves the out-of-memory handler too.
template <typename... Args>
[[noreturn]] void FatalError(Message<Args...> message, Args... args) {
  message_detail::Fatal(message.id(), args...);
}

}  // namespace kel
