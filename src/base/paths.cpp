// Splitting paths into directory, name and extension.

#include "base/paths.h"

#include "base/text.h"
#include "platform/paths.h"

namespace kel {

PathParts SplitPath(std::string_view path) {
  std::size_t nameStart = 0;
  for (std::size_t i = path.size(); i > 0; --i) {
    if (platform::IsDirectorySeparator(path[i - 1])) {
      nameStart = i;
      break;
    }
  }
  std::string_view rest = path.substr(nameStart);
  std::size_t period = rest.rfind('.');
  PathParts parts;
  parts.directory = path.substr(0, nameStart);
  parts.name = period == std::string_view::npos ? rest : rest.substr(0, period);
  parts.extension = period == std::string_view::npos ? std::string_view() : rest.substr(period);
  return parts;
}

bool ExtensionIs(std::string_view extension, std::string_view wanted) {
  return extension.size() == wanted.size() + 1 && extension[0] == '.' &&
         EqualsIgnoreCase(extension.substr(1), wanted);
}

std::string_view WithoutDoubledBatchExtension(std::string_view path) {
  constexpr std::string_view kTwice = ".BAT.BAT";
  if (path.size() >= kTwice.size() &&
      EqualsIgnoreCase(path.substr(path.size() - kTwice.size()), kTwice)) {
    return path.substr(0, path.size() - 4);
  }
  return path;
}

}  // namespace kel
