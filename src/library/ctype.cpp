// Character classification: the C classification of a value's low byte.

#include <cctype>

#include "engine/calls.h"
#include "library/arguments.h"
#include "library/groups.h"

namespace kel {

namespace {

using Classifier = int (*)(int);

struct Classification {
  const char* name;
  Classifier test;
};

// Names that share the one handler, which picks its test by name.
constexpr Classification kClassifiers[] = {
    {"isalnum", ::isalnum}, {"isalpha", ::isalpha}, {"iscntrl", ::iscntrl}, {"isdigit", ::isdigit},
    {"isgraph", ::isgraph}, {"islower", ::islower}, {"isprint", ::isprint}, {"ispunct", ::ispunct},
    {"isspace", ::isspace}, {"isupper", ::isupper}, {"isxdigit", ::isxdigit},
};

void Ctype_classify(CallFrame& frame) {
  std::int32_t value;
  if (!GetInteger(frame, 0, value)) return;
  const std::string_view name = CalledName(frame);
  for (const Classification& classification : kClassifiers) {
    if (name == classification.name) {
      ReturnInt(frame, classification.test(value & 0xFF));
      return;
    }
  }
}

void Ctype_isascii(CallFrame& frame) {
  std::int32_t value;
  if (GetInteger(frame, 0, value)) ReturnInt(frame, static_cast<std::uint32_t>(value) <= 127 ? 1 : 0);
}

void Ctype_toascii(CallFrame& frame) {
  std::int32_t value;
  if (GetInteger(frame, 0, value)) ReturnInt(frame, value & 0x7F);
}

// Only the ASCII letters change.
void Ctype_tolower(CallFrame& frame) {
  std::int32_t value;
  if (GetInteger(frame, 0, value)) ReturnInt(frame, value >= 'A' && value <= 'Z' ? value + ('a' - 'A') : value);
}

void Ctype_toupper(CallFrame& frame) {
  std::int32_t value;
  if (GetInteger(frame, 0, value)) ReturnInt(frame, value >= 'a' && value <= 'z' ? value - ('a' - 'A') : value);
}

constexpr LibraryEntry kCtypeRows[] = {
    {"isalnum",  Ctype_classify, 1, 1},
    {"isalpha",  Ctype_classify, 1, 1},
    {"isascii",  Ctype_isascii,  1, 1},
    {"iscntrl",  Ctype_classify, 1, 1},
    {"isdigit",  Ctype_classify, 1, 1},
    {"isgraph",  Ctype_classify, 1, 1},
    {"islower",  Ctype_classify, 1, 1},
    {"isprint",  Ctype_classify, 1, 1},
    {"ispunct",  Ctype_classify, 1, 1},
    {"isspace",  Ctype_classify, 1, 1},
    {"isupper",  Ctype_classify, 1, 1},
    {"isxdigit", Ctype_classify, 1, 1},
    {"toascii",  Ctype_toascii,  1, 1},
    {"tolower",  Ctype_tolower,  1, 1},
    {"toupper",  Ctype_toupper,  1, 1},
};

}  // namespace

const LibraryGroup kCtypeGroup{GROUP_CTYPE, kCtypeRows, nullptr, nullptr, nullptr};

}  // namespace kel
