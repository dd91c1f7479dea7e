// The message table's texts, their formatting and the fatal path.

#include "base/message_table.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "base/host.h"

namespace kel {

const char* MessageText(MessageId id) {
  return id < MSG_COUNT ? kMessageTexts[id] : kMessageTexts[MSG_NOT_FOUND];
}

namespace message_detail {

std::string Format(int id, ...) {
  char buffer[kMessageBufferSize];
  std::va_list args;
  va_start(args, id);
  std::vsnprintf(buffer, sizeof buffer, MessageText(static_cast<MessageId>(id)), args);
  va_end(args);
  return buffer;
}

void Fatal(int id, ...) {
  char buffer[400];
  std::va_list args;
  va_start(args, id);
  std::vsnprintf(buffer, sizeof buffer, MessageText(static_cast<MessageId>(id)), args);
  va_end(args);
  Host* host = ProcessHost();
  if (host != nullptr) {
    host->ShowFatal(buffer);
  } else {
    std::fprintf(stderr, "\a\a%s\n", buffer);
  }
  std::fflush(nullptr);
  std::_Exit(255);
}

}  // namespace message_detail

}  // namespace kel
