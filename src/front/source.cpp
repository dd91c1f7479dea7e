// The source stack's records, the file search and line reading with markers.

#include "front/source.h"

#include <cstring>

#include "base/host.h"
#include "base/paths.h"
#include "base/process.h"
#include "base/text.h"
#include "engine/context.h"
#include "engine/messages.h"
#include "platform/paths.h"

namespace kel {

// ===================================================================
// Files read during a load
// ===================================================================

bool FilesRead::Contains(std::string_view path) const {
  for (const auto& known : paths_) {
    if (platform::SameFileName(*known, path)) return true;
  }
  return false;
}

const char* FilesRead::Add(std::string_view path) {
  paths_.push_back(std::make_unique<std::string>(path));
  return paths_.back()->c_str();
}

SourceRecord::~SourceRecord() {
  if (file != nullptr && !isStandardInput) std::fclose(file);
}

// ===================================================================
// File search
// ===================================================================

namespace {

// Longer entries of a search list are skipped: no directory name that long can
// be opened on the systems this program serves.
constexpr std::size_t kMaxDirectoryEntry = 260;

bool HasWildcard(std::string_view name) { return name.find_first_of("?*") != std::string_view::npos; }

std::optional<std::string> SearchDirectories(std::string_view directoryList, std::string_view fileName,
                                             const std::vector<std::string_view>& extensions,
                                             bool (*accepts)(const std::string& path)) {
  const char separator = platform::PathListSeparator();
  std::size_t start = 0;
  while (start <= directoryList.size()) {
    std::size_t end = directoryList.find(separator, start);
    if (end == std::string_view::npos) end = directoryList.size();
    std::string_view entry = directoryList.substr(start, end - start);
    start = end + 1;
    if (entry.empty() || entry.size() > kMaxDirectoryEntry) continue;
    std::string base(entry);
    if (!platform::IsDirectorySeparator(base.back())) base += platform::DirectorySeparator();
    base += fileName;
    for (std::string_view extension : extensions) {
      std::string candidate = base + std::string(extension);
      if (!platform::IsExistingFile(candidate) || (accepts != nullptr && !accepts(candidate))) continue;
      std::string full = platform::FullPath(candidate);
      return full.empty() ? candidate : full;
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> FindFile(std::string_view name,
                                    std::optional<std::string_view> directoryList,
                                    const std::vector<std::string_view>& extensions,
                                    bool (*accepts)(const std::string& path)) {
  if (name.empty() || !directoryList || HasWildcard(name)) return std::nullopt;
  PathParts parts = SplitPath(name);
  if (parts.name.empty() || parts.name.size() > kMaxDirectoryEntry) return std::nullopt;
  std::vector<std::string_view> candidates;
  if (!parts.extension.empty()) {
    if (!extensions.empty()) {
      bool listed = false;
      for (std::string_view known : extensions) listed = listed || EqualsIgnoreCase(known, parts.extension);
      if (!listed) return std::nullopt;
    }
    candidates.push_back(parts.extension);
  } else {
    candidates = extensions;
  }
  if (candidates.empty()) return std::nullopt;
  std::string_view list = parts.directory.empty() ? *directoryList : parts.directory;
  std::string fileName = std::string(parts.name);
  return SearchDirectories(list, fileName, candidates, accepts);
}

namespace {

// The six places of a program or included file, in order.
std::optional<std::string> SearchSource(Context& context, std::string_view name, SourceRecord* includer) {
  // A main program may be a file of a plain name where such scripts are
  // installed ("#!" scripts); an included name always needs its extension.
  static const std::vector<std::string_view> plainName{""};
  const std::vector<std::string_view> noExtensions;
  const bool plain = includer == nullptr && platform::ScriptsMayLackExtension() && SplitPath(name).extension.empty();
  const auto& none = plain ? plainName : noExtensions;
  if (auto found = FindFile(name, std::string_view("."), none)) return found;
  if (includer != nullptr && !includer->mainDir.empty()) {
    if (auto found = FindFile(name, std::string_view(includer->mainDir), none)) return found;
  }
  std::string_view saved = context.host->SavedSearchPath();
  if (!saved.empty()) {
    if (auto found = FindFile(name, saved, none)) return found;
  }
  if (auto found = FindFile(name, std::string_view(InterpreterDir), none)) return found;
  for (const char* variable : {"KELPATH", "PATH"}) {
    if (auto list = platform::GetEnvironmentValue(variable)) {
      if (auto found = FindFile(name, std::string_view(*list), none)) return found;
    }
  }
  return std::nullopt;
}

}  // namespace

bool SourceExists(Context& context, std::string_view name) { return SearchSource(context, name, nullptr).has_value(); }

std::unique_ptr<SourceRecord> OpenSource(Context& context, std::string_view writtenName,
                                         SourceRecord* includer, FilesRead& files) {
  std::string name(WithoutDoubledBatchExtension(writtenName));
  auto source = std::make_unique<SourceRecord>();
  source->parent = includer;
  if (includer != nullptr) source->mainDir = includer->mainDir;

  std::string fullPath;
  if (name == "-") {
    fullPath = "-";
  } else if (auto found = SearchSource(context, name, includer)) {
    fullPath = *found;
  } else {
    RaiseError(context, MSG_0001, std::string(writtenName).c_str());
    return nullptr;
  }

  if (files.Contains(fullPath)) {
    source->fileName = fullPath == "-" ? "-" : files.Add(fullPath);
    source->ended = true;
    return source;
  }
  if (fullPath == "-") {
    source->file = stdin;
    source->isStandardInput = true;
  } else {
    source->file = std::fopen(fullPath.c_str(), "r");
    if (source->file == nullptr) {
      RaiseError(context, MSG_0001, std::string(writtenName).c_str());
      return nullptr;
    }
  }
  source->fileName = files.Add(fullPath);

  if (includer == nullptr) {
    source->mainDir = std::string(SplitPath(fullPath).directory);
    if (ExtensionIs(SplitPath(fullPath).extension, "BAT")) {
      source->beginMarker = "GOTO VETRA_EXIT";
      source->endMarker = ":VETRA_EXIT";
      source->skippingToBegin = true;
    }
    ReadLine(*source);
  }
  return source;
}

std::unique_ptr<SourceRecord> OpenTextSource(std::string_view text, SourceRecord* parent) {
  auto source = std::make_unique<SourceRecord>();
  source->parent = parent;
  source->isText = true;
  source->text = std::string(text);
  if (parent != nullptr) {
    source->isMacro = true;
    source->fileName = parent->fileName;
    source->mainDir = parent->mainDir;
    source->lineNumber = parent->lineNumber;
  }
  return source;
}

// ===================================================================
// Reading lines
// ===================================================================

namespace {

// Moves the next line of [source]'s file, of any length and without its line
// end, into [line]; false at the end of the file. Lines are read in blocks, so
// a NUL byte in one is kept (and reported by the tokenizer) instead of ending
// the line there.
bool ReadFileLine(SourceRecord& source, std::string& line) {
  constexpr std::size_t kBlock = 64 * 1024;
  line.clear();
  bool any = false;
  for (;;) {
    if (source.readStart >= source.readEnd) {
      // OPTIMIZATION: a buffer left uninitialized; fread fills what it gives.
      if (!source.readBuffer) source.readBuffer.reset(new char[kBlock]);
      source.readStart = 0;
      source.readEnd = std::fread(source.readBuffer.get(), 1, kBlock, source.file);
      if (source.readEnd == 0) return any;
    }
    any = true;
    const char* start = source.readBuffer.get() + source.readStart;
    const std::size_t available = source.readEnd - source.readStart;
    const auto* end = static_cast<const char*>(std::memchr(start, '\n', available));
    if (end == nullptr) {
      line.append(start, available);
      source.readStart = source.readEnd;
      if (line.size() > kMaxSourceLine) return true;  // refused by the tokenizer
      continue;
    }
    line.append(start, static_cast<std::size_t>(end - start));
    source.readStart += static_cast<std::size_t>(end - start) + 1;
    return true;
  }
}

bool ReadPhysicalLine(SourceRecord& source) {
  if (source.isText) {
    const std::string& text = source.text;
    if (source.textPosition >= text.size()) return false;
    std::size_t end = text.find_first_of("\r\n", source.textPosition);
    if (end == std::string::npos) end = text.size();
    source.line.assign(text, source.textPosition, end - source.textPosition);
    source.textPosition = end + 1;
    return true;
  }
  if (!ReadFileLine(source, source.line)) return false;
  ++source.lineNumber;
  while (!source.line.empty() && source.line.back() == '\r') source.line.pop_back();
  source.holdsNul = source.line.find('\0') != std::string::npos;
  source.tooLong = source.line.size() > kMaxSourceLine;
  return true;
}

void SkipLeadingWhiteSpace(std::string& line) {
  std::size_t start = line.find_first_not_of(" \t\n\r");
  line.erase(0, start == std::string::npos ? line.size() : start);
}

// A byte-order mark, or a "#!" line that lets the system start the script, may
// open a file; neither is code.
bool IsFileHeaderLine(SourceRecord& source) {
  if (source.isText || !source.firstPhysicalLine) return false;
  source.firstPhysicalLine = false;
  if (source.line.compare(0, 3, "\xEF\xBB\xBF") == 0) source.line.erase(0, 3);
  return source.line.compare(0, 2, "#!") == 0;
}

// Applies the begin, end and prefix markers to the current line. Returns true
// when the line is code (the prefix removed), false when it is skipped.
bool ApplyMarkers(SourceRecord& source) {
  std::string& line = source.line;
  if (source.skippingToBegin) {
    if (source.beginMarker && StartsWithIgnoreCase(line, *source.beginMarker)) source.skippingToBegin = false;
    return false;
  }
  if (source.endMarker && StartsWithIgnoreCase(line, *source.endMarker)) {
    if (source.beginMarker) {
      source.skippingToBegin = true;
    } else {
      source.ended = true;
    }
    return false;
  }
  if (source.prefix) {
    if (!StartsWithIgnoreCase(line, *source.prefix)) return false;
    line.erase(0, source.prefix->size());
  }
  return true;
}

}  // namespace

bool ReadLine(SourceRecord& source) {
  source.position = 0;
  while (!source.ended) {
    if (!ReadPhysicalLine(source)) {
      source.line.clear();
      return false;
    }
    if (IsFileHeaderLine(source)) continue;
    SkipLeadingWhiteSpace(source.line);
    if (!ApplyMarkers(source)) continue;
    if (!source.line.empty()) return true;
  }
  source.line.clear();
  return false;
}

}  // namespace kel
