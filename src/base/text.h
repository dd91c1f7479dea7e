#pragma once
// Small text helpers shared by every layer: the language compares names
// without regard to the case of the ASCII letters A to Z only.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace kel {

constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// True when [a] and [b] are equal, folding only 'A'-'Z'.
constexpr bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    // (Names are nearly always written the same way: fold only on a difference.)
    if (a[i] != b[i] && AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

namespace detail {
template <typename T>
inline T Word(const char* at) {
  T word;
  std::memcpy(&word, at, sizeof word);
  return word;
}
}  // namespace detail

// memcmp(a, b, n) == 0 for short names without a call: words that overlap in
// the middle cover every length from 4 on.
inline bool SameBytes(const char* a, const char* b, std::size_t n) {
  using detail::Word;
  if (n >= 8) {
    for (std::size_t at = 0; at + 8 < n; at += 8) {
      if (Word<std::uint64_t>(a + at) != Word<std::uint64_t>(b + at)) return false;
    }
    return Word<std::uint64_t>(a + n - 8) == Word<std::uint64_t>(b + n - 8);
  }
  if (n >= 4) {
    return Word<std::uint32_t>(a) == Word<std::uint32_t>(b) && Word<std::uint32_t>(a + n - 4) == Word<std::uint32_t>(b + n - 4);
  }
  for (std::size_t at = 0; at < n; ++at) {
    if (a[at] != b[at]) return false;
  }
  return true;
}

// True when [text] starts with [prefix], folding only 'A'-'Z'.
constexpr bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

// True when [name] holds a lowercase letter a-z. Names without one denote
// environment variables and cannot be parameters.
constexpr bool HasLowercaseLetter(std::string_view name) {
  for (char c : name) {
    if (c >= 'a' && c <= 'z') return true;
  }
  return false;
}

// A hash and equality that fold 'A'-'Z', for tables keyed by names.
struct NameHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view name) const {
    std::size_t hash = 2166136261u;
    for (char c : name) hash = (hash ^ kFolded[static_cast<unsigned char>(c)]) * 16777619u;
    return hash;
  }
  // The same hash of the NUL-terminated [text], with its [length] found on
  // the way (one pass instead of two).
  static std::size_t OfText(const char* text, std::size_t& length) {
    std::size_t hash = 2166136261u;
    const char* at = text;
    for (; *at != '\0'; ++at) hash = (hash ^ kFolded[static_cast<unsigned char>(*at)]) * 16777619u;
    length = static_cast<std::size_t>(at - text);
    return hash;
  }

 private:
  // Every byte with 'A'-'Z' folded: a table read costs less than the tests
  // in the loop of a name that is hashed on every look-up.
  static constexpr std::array<unsigned char, 256> kFolded = [] {
    std::array<unsigned char, 256> folded{};
    for (int c = 0; c < 256; ++c) folded[c] = static_cast<unsigned char>(AsciiLower(static_cast<char>(c)));
    return folded;
  }();
};
struct NameEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const { return EqualsIgnoreCase(a, b); }
};

}  // namespace kel
