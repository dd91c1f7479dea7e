// The command line: options, splitting and the file-or-code decision.

#include "run/command_line.h"

#include "base/paths.h"
#include "base/text.h"
#include "platform/paths.h"

namespace kel {

namespace {

constexpr std::string_view kWhiteSpace = " \t\n\r";
constexpr std::string_view kOperatorCharacters = "+-<>&|=!*/%^~?:,{};()[].'\"`#";

bool IsOperatorCharacter(char c) {
  return c != '\0' && kOperatorCharacters.find(c) != std::string_view::npos;
}

// Paths hold colons, periods and directory separators; any other operator
// character in the first word makes the command line code.
bool HoldsCodeCharacter(std::string_view word) {
  for (char c : word) {
    if (c == ':' || c == '.' || c == '\\' || platform::IsDirectorySeparator(c)) continue;
    if (IsOperatorCharacter(c)) return true;
  }
  return false;
}

}  // namespace

std::string Trimmed(std::string_view text) {
  std::size_t first = text.find_first_not_of(kWhiteSpace);
  if (first == std::string_view::npos) return {};
  std::size_t last = text.find_last_not_of(kWhiteSpace);
  return std::string(text.substr(first, last - first + 1));
}

bool TakeBindOption(std::string& commandLine, std::string& target) {
  constexpr std::string_view kOption = "/BIND=";
  if (!StartsWithIgnoreCase(commandLine, kOption)) return false;
  std::size_t end = commandLine.find_first_of(kWhiteSpace, kOption.size());
  if (end == std::string::npos || end == kOption.size()) return false;
  target = commandLine.substr(kOption.size(), end - kOption.size());
  commandLine = Trimmed(std::string_view(commandLine).substr(end));
  return true;
}

bool TakeQuotedCode(std::string& commandLine) {
  if (commandLine.size() < 2) return false;
  char quote = commandLine.front();
  if ((quote != '"' && quote != '\'' && quote != '`') || commandLine.back() != quote) return false;
  commandLine = Trimmed(std::string_view(commandLine).substr(1, commandLine.size() - 2));
  return true;
}

std::vector<std::string> SplitArguments(std::string_view text) {
  std::vector<std::string> words;
  std::size_t at = 0;
  for (;;) {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    if (at >= text.size()) break;
    std::string word;
    while (at < text.size() && text[at] != ' ' && text[at] != '\t') {
      if (text[at] == '"') {
        std::size_t close = text.find('"', at + 1);
        if (close == std::string_view::npos) close = text.size();
        word.append(text.substr(at + 1, close - at - 1));
        at = close == text.size() ? close : close + 1;
      } else {
        word += text[at++];
      }
    }
    words.push_back(std::move(word));
  }
  return words;
}

bool NamesProgramFile(std::vector<std::string>& words) {
  if (words.empty()) return false;
  std::string& first = words[0];
  if (first == "-") return true;  // standard input, which the rules below would take for code
  first = std::string(WithoutDoubledBatchExtension(first));
  PathParts parts = SplitPath(first);
  if (parts.name.empty()) return false;
  if (ExtensionIs(parts.extension, "kel") || ExtensionIs(parts.extension, "BAT")) return true;
  if (HoldsCodeCharacter(first)) return false;
  if (words.size() == 1) return true;
  return words[1].empty() || !IsOperatorCharacter(words[1][0]);
}

}  // namespace kel
