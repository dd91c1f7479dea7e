#pragma once
// A script test and what it expects, read from the comments of the script.

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace runner {

struct TestCase {
  std::filesystem::path script;  // the script file
  std::string name;              // its path below the scripts folder
  std::optional<std::string> platform;  // "linux" or "win32" when restricted
  // Set ("// 32-bit-only: reason") when the test holds only for the 32-bit
  // Windows programs; a 64-bit Windows test build skips it with the reason.
  std::optional<std::string> only32BitReason;
  // Set ("// starts-itself: reason") when the test starts the interpreter as
  // a child process, which a program run by an emulator cannot do.
  std::optional<std::string> startsItselfReason;

  // How the program is started. Without args or command the command line is
  // the script's own file name.
  std::vector<std::string> args;                // "// args:" words after the script name
  std::optional<std::string> command;           // "// command:" the exact tail
  std::optional<std::string> win32CommandLine;  // "// win32-command-line:" the whole line
  std::string stdinText;
  std::vector<std::pair<std::string, std::string>> environment;
  std::vector<std::string> files;  // copied from beside the script into the run folder
  int timeoutSeconds = 30;

  // What it expects.
  std::optional<int> exitCode;
  bool hasExpectedStdout = false;
  std::string expectedStdout;  // "// expect:" lines
  std::vector<std::string> stdoutFragments;
  std::vector<std::string> stderrFragments;  // "// stderr-has:" and "// expect error:"
  std::vector<std::string> stderrAbsent;     // "// stderr-lacks:"
  std::vector<std::string> expectedErrors;
  bool anyStdout = false;
  bool anyStderr = false;

  int ExpectedExitCode() const { return exitCode.value_or(expectedErrors.empty() ? 0 : 255); }
};

// Reads the expectations of [script]; [name] is how reports call it. Returns
// an error text instead when a directive cannot be read.
std::variant<TestCase, std::string> ReadTestCase(const std::filesystem::path& script,
                                                 const std::string& name);

// Splits [text] into words as a POSIX shell would: blanks separate, single
// quotes keep everything, double quotes keep blanks, backslash escapes.
std::vector<std::string> ShellWords(const std::string& text);

}  // namespace runner
