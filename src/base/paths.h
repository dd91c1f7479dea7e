#pragma once
// The one rule by which paths are split everywhere: the directory part ends at
// the last directory separator, the extension is the rest of the name from its
// last period on (period included), and the name part lies between.

#include <string_view>

namespace kel {

struct PathParts {
  std::string_view directory;  // with its trailing separator
  std::string_view name;
  std::string_view extension;  // with its leading period; empty when none
};

PathParts SplitPath(std::string_view path);

// True when [extension] (with its period) equals [wanted] (without it), in any
// letter case.
bool ExtensionIs(std::string_view extension, std::string_view wanted);

// [path] without a doubled batch extension (".BAT" twice, any case): batch
// files sometimes name themselves as %0.bat.
std::string_view WithoutDoubledBatchExtension(std::string_view path);

}  // namespace kel
