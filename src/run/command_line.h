#pragma once
// Reading the interpreter's command line: trimming, the "/BIND=" option,
// quoted code, splitting into the words handed to main, and the decision
// whether the words name a file or are code themselves.

#include <string>
#include <string_view>
#include <vector>

namespace kel {

// [text] without leading and trailing blanks, tabs, newlines and carriage returns.
std::string Trimmed(std::string_view text);

// Takes a leading "/BIND=name" off [commandLine] into [target]. Not an option
// (and nothing changes) when no blank, tab or line end follows the name.
bool TakeBindOption(std::string& commandLine, std::string& target);

// A command line enclosed in one pair of double, single or back quotes is code:
// the quotes are removed and true is returned.
bool TakeQuotedCode(std::string& commandLine);

// Splits [text] into words at runs of blanks and tabs; inside a word a double
// quote starts a stretch that runs to the next double quote, blanks included,
// and both quotes are removed.
std::vector<std::string> SplitArguments(std::string_view text);

// Decides whether [words] name a program file (true) or are Kel code (false).
// A doubled batch extension on the first word is cut.
bool NamesProgramFile(std::vector<std::string>& words);

}  // namespace kel
