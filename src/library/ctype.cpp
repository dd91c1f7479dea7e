// Character classification: the C classification of a value's low byte.

#include <cctype>

#include "engine/calls.h"
#include "library/arguments.h"
#include "library/groups.h"

namespace kel {

namespace {

// The tests that share one handler, each row naming its own by its variant.
enum Classifier : std::uint32_t {
  IS_ALNUM, IS_ALPHA, IS_CNTRL, IS_DIGIT, IS_GRAPH, IS_LOWER, IS_PRINT, IS_PUNCT, IS_SPACE, IS_UPPER, IS_XDIGIT
};
constexpr int (*kClassifiers[])(int) = {
    ::isalnum, ::isalpha, ::iscntrl, ::isdigit, ::isgraph, ::islower, ::isprint, ::ispunct, ::isspace, ::isupper,
    ::isxdigit,
};

void Ctype_classify(CallFrame& frame) {
  std::int32_t value;
  if (GetInteger(frame, 0, value)) ReturnInt(frame, kClassifiers[CalledVariant(frame)](value & 0xFF));
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
    {"isalnum",  Ctype_classify, 1, 1, IS_ALNUM},
    {"isalpha",  Ctype_classify, 1, 1, IS_ALPHA},
    {"isascii",  Ctype_isascii,  1, 1},
    {"iscntrl",  Ctype_classify, 1, 1, IS_CNTRL},
    {"isdigit",  Ctype_classify, 1, 1, IS_DIGIT},
    {"isgraph",  Ctype_classify, 1, 1, IS_GRAPH},
    {"islower",  Ctype_classify, 1, 1, IS_LOWER},
    {"isprint",  Ctype_classify, 1, 1, IS_PRINT},
    {"ispunct",  Ctype_classify, 1, 1, IS_PUNCT},
    {"isspace",  Ctype_classify, 1, 1, IS_SPACE},
    {"isupper",  Ctype_classify, 1, 1, IS_UPPER},
    {"isxdigit", Ctype_classify, 1, 1, IS_XDIGIT},
    {"toascii",  Ctype_toascii,  1, 1},
    {"tolower",  Ctype_tolower,  1, 1},
    {"toupper",  Ctype_toupper,  1, 1},
};

}  // namespace

const LibraryGroup kCtypeGroup{GROUP_CTYPE, kCtypeRows, nullptr, nullptr, nullptr};

}  // namespace kel
