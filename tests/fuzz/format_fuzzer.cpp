// Fuzz target: format strings with arbitrary arguments for the printf and
// scanf families. The input is a selector byte, the format, a NUL, the text
// the scanf family reads, a NUL, and one byte per argument choosing it from
// values that sit at the edges (extreme integers, tiny and huge floats,
// strings, an array, a structure, an undefined variable, the destination
// itself). The program built from them runs as a whole program would.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_host.h"

namespace {

constexpr const char* kArguments[] = {
    "0",      "-1",      "2147483647", "-2147483647-1", "42",  "3.5",     "-0.0",
    "1e308",  "1e-310",  "\"text\"",   "\"\"",          "'c'", "u",       "arr",
    "st",     "b",       "out",        "format",        "s0",  "1.0 / 3", "arr[1]",
};
constexpr std::size_t kMaxArguments = 12;

// The next piece of [rest] up to a NUL (or its end).
std::string_view TakePiece(std::string_view& rest) {
  const std::size_t end = rest.find('\0');
  const std::string_view piece = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
  return piece;
}

const char* const kCalls[] = {
    // 0: straight output, to standard output and into a buffer
    "  printf(format ARGS);\n  sprintf(out, format ARGS);\n",
    // 1: reading
    "  n = sscanf(input, format ARGS);\n",
    // 2: through a variable argument list
    "  viaList(format ARGS);\n",
    // 3: to a file and read back
    "  f = fopen(\"format.txt\", \"w+\");\n  fprintf(f, format ARGS);\n  rewind(f);\n"
    "  n = fscanf(f, format ARGS);\n  fclose(f);\n",
};

// The program for the input [data] (at least one byte).
std::string ProgramFor(const std::uint8_t* data, std::size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string_view format = TakePiece(rest);
  const std::string_view input = TakePiece(rest);
  std::string arguments;
  for (std::size_t i = 0; i < rest.size() && i < kMaxArguments; ++i) {
    arguments += ", ";
    arguments += kArguments[static_cast<std::uint8_t>(rest[i]) % std::size(kArguments)];
  }
  std::string call = kCalls[data[0] % std::size(kCalls)];
  for (std::size_t at; (at = call.find("ARGS")) != std::string::npos;) call.replace(at, 4, arguments);

  return
      "viaList(format) {\n  va_start(list, format);\n  vsprintf(out, format, list);\n"
      "  return vsscanf(input, format, list);\n}\n"
      "input = " + kel::fuzz::QuoteBytes(input) + ";\n" +
      "main() {\n  arr = {1, 2, 3};\n  st.a = 1;\n  st.b = \"member\";\n  b = byte(200);\n"
      "  format = " + kel::fuzz::QuoteBytes(format) + ";\n" + call + "}\n";
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char plain[] = "\0%d %s|%5.1f\n\0" "42 word\0\4\11\5";
  kel::fuzz::CheckGeneratedProgram(ProgramFor(reinterpret_cast<const std::uint8_t*>(plain), sizeof plain - 1));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  kel::fuzz::RunProgramText(ProgramFor(data, size));
  return 0;
}
