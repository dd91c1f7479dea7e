#pragma once
// Program text for the tokenizer, line by line: the source stack of the main
// file (or code text, or standard input), included files and macro texts; the
// file search along the search places; and the markers that let Kel code live
// inside other files, such as batch files.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kel {

struct Context;

// The full paths read during one load, so that no file is read twice. Sources
// point at these strings for their file names.
class FilesRead {
 public:
  bool Contains(std::string_view path) const;
  const char* Add(std::string_view path);

 private:
  std::vector<std::unique_ptr<std::string>> paths_;
};

// The longest source line read: a file without line ends (a device that never
// ends, a binary file) is refused instead of filling memory.
constexpr std::size_t kMaxSourceLine = std::size_t{16} << 20;

struct SourceRecord {
  ~SourceRecord();

  SourceRecord* parent = nullptr;  // the includer, or the text a macro was found in
  std::string line;                // the current line, without its line end
  std::size_t position = 0;        // where the tokenizer reads in [line]

  bool isText = false;  // reads a copy of a text instead of a file
  std::string text;
  std::size_t textPosition = 0;

  const char* fileName = nullptr;  // full path, "-" for standard input, null for code text
  std::string mainDir;             // directory of the main program file
  std::uint32_t lineNumber = 0;
  std::FILE* file = nullptr;
  bool isStandardInput = false;
  // What has been read from [file] ahead of the current line: the bytes from
  // readStart to readEnd of readBuffer.
  std::unique_ptr<char[]> readBuffer;
  std::size_t readStart = 0;
  std::size_t readEnd = 0;
  bool holdsNul = false;  // the current line holds a NUL byte
  bool tooLong = false;   // the current line is longer than kMaxSourceLine
  bool isMacro = false;

  std::optional<std::string> prefix, beginMarker, endMarker;
  bool skippingToBegin = false;  // between an end marker and the next begin marker
  bool ended = false;            // an end marker without begin marker was met
  bool firstPhysicalLine = true; // a byte-order mark or "#!" line may stand here
};

// Finds [name] along [directoryList] (entries separated by the platform's list
// separator) trying [extensions]; returns the full path of the first existing
// file. A name with a directory part is searched in that directory only; a
// name without extension is found only through an extension list.
// [accepts] decides which existing paths count (by default every file).
std::optional<std::string> FindFile(std::string_view name,
                                    std::optional<std::string_view> directoryList,
                                    const std::vector<std::string_view>& extensions,
                                    bool (*accepts)(const std::string& path) = nullptr);

// True when the main program [name] is found in one of the places a program
// is searched for.
bool SourceExists(Context& context, std::string_view name);

// Searches for [name] in the places of a program or included file (current
// directory, the includer's main directory, the saved search path, the
// interpreter's directory, KELPATH, PATH) and opens it. [includer] is null for
// the main program, which also gets its main directory, batch markers and
// first line. Raises 0001 and returns null when the file cannot be opened; an
// already read file yields a source without lines.
std::unique_ptr<SourceRecord> OpenSource(Context& context, std::string_view name,
                                         SourceRecord* includer, FilesRead& files);

// A source that reads a copy of [text], split into lines at every carriage
// return and line feed. With a [parent] (macro texts) it shares the parent's
// file name and line number; without one it has neither.
std::unique_ptr<SourceRecord> OpenTextSource(std::string_view text, SourceRecord* parent);

// Advances [source] to its next line that holds code. Returns false at the end.
bool ReadLine(SourceRecord& source);

}  // namespace kel
