// Reading a script test's expectations from its comments.

#include "expectations.h"

#include <fstream>
#include <sstream>

namespace runner {

namespace {

// Decodes \n, \t, \r, \\, \xHH and \0 in [text], for stdin texts.
std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 >= text.size()) {
      out += text[i];
      continue;
    }
    char c = text[++i];
    switch (c) {
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'r': out += '\r'; break;
      case '0': out += '\0'; break;
      case 'x':
        if (i + 2 < text.size()) {
          out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
          i += 2;
        }
        break;
      default: out += c; break;
    }
  }
  return out;
}

bool TakeDirective(const std::string& comment, const char* key, std::string& value) {
  std::string prefix = std::string(key) + ":";
  if (comment.compare(0, prefix.size(), prefix) != 0) return false;
  value = comment.substr(prefix.size());
  if (!value.empty() && value[0] == ' ') value.erase(0, 1);
  return true;
}

}  // namespace

std::vector<std::string> ShellWords(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == ' ' || c == '\t') {
      if (inWord) words.push_back(word), word.clear(), inWord = false;
      continue;
    }
    inWord = true;
    if (c == '\'') {
      std::size_t close = text.find('\'', i + 1);
      if (close == std::string::npos) close = text.size();
      word += text.substr(i + 1, close - i - 1);
      i = close;
    } else if (c == '"') {
      for (++i; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == '"' || text[i + 1] == '\\')) ++i;
        word += text[i];
      }
    } else if (c == '\\' && i + 1 < text.size()) {
      word += text[++i];
    } else {
      word += c;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

std::variant<TestCase, std::string> ReadTestCase(const std::filesystem::path& script,
                                                 const std::string& name) {
  std::ifstream in(script, std::ios::binary);
  if (!in) return "cannot read " + script.string();
  TestCase test;
  test.script = script;
  test.name = name;
  std::string line, value;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::size_t slashes = line.find("// ");
    if (slashes == std::string::npos) continue;
    std::string comment = line.substr(slashes + 3);
    if (TakeDirective(comment, "expect error", value)) {
      test.expectedErrors.push_back(value);
      test.stderrFragments.push_back(value + ":");
    } else if (TakeDirective(comment, "expect", value)) {
      test.hasExpectedStdout = true;
      test.expectedStdout += value + "\n";
    } else if (TakeDirective(comment, "exit", value)) {
      test.exitCode = std::stoi(value);
    } else if (TakeDirective(comment, "stdout-has", value)) {
      test.stdoutFragments.push_back(Unescape(value));
    } else if (TakeDirective(comment, "stderr-has", value)) {
      test.stderrFragments.push_back(Unescape(value));
    } else if (TakeDirective(comment, "stderr-lacks", value)) {
      test.stderrAbsent.push_back(Unescape(value));
    } else if (TakeDirective(comment, "stdout", value)) {
      test.anyStdout = value == "any";
      if (!test.anyStdout) return name + ": \"// stdout:\" takes only \"any\"";
    } else if (TakeDirective(comment, "stderr", value)) {
      test.anyStderr = value == "any";
      if (!test.anyStderr) return name + ": \"// stderr:\" takes only \"any\"";
    } else if (TakeDirective(comment, "args", value)) {
      for (std::string& word : ShellWords(value)) test.args.push_back(word);
    } else if (TakeDirective(comment, "command", value)) {
      test.command = value;
    } else if (TakeDirective(comment, "win32-command-line", value)) {
      test.win32CommandLine = value;
      test.platform = "win32";
    } else if (TakeDirective(comment, "stdin", value)) {
      test.stdinText += Unescape(value) + "\n";
    } else if (TakeDirective(comment, "stdin-raw", value)) {
      test.stdinText += Unescape(value);
    } else if (TakeDirective(comment, "env", value)) {
      std::size_t equals = value.find('=');
      if (equals == std::string::npos) return name + ": \"// env:\" needs NAME=VALUE";
      test.environment.emplace_back(value.substr(0, equals), value.substr(equals + 1));
    } else if (TakeDirective(comment, "file", value)) {
      test.files.push_back(value);
    } else if (TakeDirective(comment, "platform", value)) {
      if (value != "linux" && value != "win32") return name + ": unknown platform " + value;
      test.platform = value;
    } else if (TakeDirective(comment, "starts-itself", value)) {
      if (value.empty()) return name + ": \"// starts-itself:\" needs the reason";
      test.startsItselfReason = value;
    } else if (TakeDirective(comment, "32-bit-only", value)) {
      if (value.empty()) return name + ": \"// 32-bit-only:\" needs the reason";
      test.only32BitReason = value;
    } else if (TakeDirective(comment, "timeout", value)) {
      test.timeoutSeconds = std::stoi(value);
    }
  }
  return test;
}

}  // namespace runner
