// Fuzz target: data descriptions with BLObPut, BLObGet and BLObSize. The
// input's bytes build a description (types, byte counts near the limits,
// structures nested a few deep with gaps and arrays), choose offsets near the
// edges of a 32-bit offset and the byte order, and the rest is the blob read.
// The program built from them runs as a whole program would.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_host.h"

namespace {

constexpr const char* kTypes[] = {"UWORD8",  "SWORD8",  "UWORD16", "SWORD16", "UWORD24", "SWORD24",
                                  "UWORD32", "SWORD32", "FLOAT32", "FLOAT64", "FLOAT80"};
constexpr const char* kCounts[] = {"0", "1", "3", "255", "65536", "2147483647", "-1", "-2147483647-1"};
constexpr const char* kOffsets[] = {"0", "1", "3", "-1", "7", "65535", "2147483000", "2147483647", "-2147483647-1"};
constexpr const char* kValues[] = {"0", "-1", "2147483647", "1.5", "-1e308", "\"text\"", "u", "back", "arr", "rec"};

// Reads the input a byte at a time; zero once it runs out.
struct Reader {
  std::string_view rest;
  std::uint8_t Next() {
    if (rest.empty()) return 0;
    const auto byte = static_cast<std::uint8_t>(rest[0]);
    rest.remove_prefix(1);
    return byte;
  }
};

// Statements that make [name] a description drawn from [reader].
void Describe(Reader& reader, const std::string& name, int depth, std::string& out) {
  const std::uint8_t choice = reader.Next();
  const std::uint8_t kind = choice % 16;
  if (kind < 11) {
    out += "  " + name + " = " + kTypes[kind] + ";\n";
  } else if (kind < 13) {
    out += "  " + name + " = " + kCounts[reader.Next() % std::size(kCounts)] + ";\n";
  } else if (kind == 13 && depth < 4) {
    const int members = 1 + reader.Next() % 4;
    for (int i = 0; i < members; ++i) {
      const std::string member = (reader.Next() % 4 == 0 ? "_gap" : "m") + std::to_string(i);
      Describe(reader, name + "." + member, depth + 1, out);
    }
  } else if (kind == 14 && depth < 4) {
    const int last = reader.Next() % 4;
    for (int i = 0; i <= last; ++i) Describe(reader, name + "[" + std::to_string(i) + "]", depth + 1, out);
  } else {
    out += "  " + name + " = \"not a description\";\n";
  }
}

// The program for the input [data].
std::string ProgramFor(const std::uint8_t* data, std::size_t size) {
  Reader reader{std::string_view(reinterpret_cast<const char*>(data), size)};
  const std::uint8_t flags = reader.Next();
  std::string program = "main() {\n  arr = {1, 2, 3};\n  rec.m0 = 1;\n  rec.m1 = \"x\";\n";
  if (flags & 1) program += "  _BigEndianMode = 1;\n";
  Describe(reader, "d", 0, program);
  const char* offset = kOffsets[reader.Next() % std::size(kOffsets)];
  const char* value = kValues[reader.Next() % std::size(kValues)];
  program += "  n = BLObSize(d);\n  blob = " + kel::fuzz::QuoteBytes(reader.rest) + ";\n";
  program += std::string("  back = BLObGet(blob, ") + offset + ", d);\n";
  if (flags & 2) program += std::string("  BLObPut(copy, ") + offset + ", back, d);\n";
  program += std::string("  BLObPut(blob, ") + (flags & 4 ? "" : std::string(offset) + ", ") + value + ", d);\n";
  program += "  BLObSize(blob, n);\n}\n";
  return program;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const std::uint8_t plain[] = {0, 13, 1, 1, 6, 9, 0, 0, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l'};
  kel::fuzz::CheckGeneratedProgram(ProgramFor(plain, sizeof plain));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kel::fuzz::RunProgramText(ProgramFor(data, size));
  return 0;
}
