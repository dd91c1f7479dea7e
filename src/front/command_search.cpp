// The command search: a command name as a Kel script or a program, along the
// places the shell and spawn look in.

#include "front/command_search.h"

#include <vector>

#include "base/host.h"
#include "base/paths.h"
#include "base/process.h"
#include "base/text.h"
#include "engine/context.h"
#include "front/source.h"
#include "platform/paths.h"

namespace kel {

namespace {

bool Startable(const std::string& path) {
  return IsKelScript(path) || platform::IsExecutableFile(path);
}

std::string_view WithoutQuotes(std::string_view name) {
  if (name.empty() || (name[0] != '"' && name[0] != '\'')) return name;
  const char quote = name[0];
  name.remove_prefix(1);
  if (!name.empty() && name.back() == quote) name.remove_suffix(1);
  return name;
}

}  // namespace

bool IsKelScript(std::string_view path) {
  return path.size() >= 5 && EqualsIgnoreCase(path.substr(path.size() - 4), ".kel");
}

std::optional<std::string> FindCommand(Context& context, std::string_view written) {
  const std::string_view name = WithoutQuotes(written);
  const bool anyExtension = platform::CommandsKeepTheirExtension() && !SplitPath(name).extension.empty();
  const std::vector<std::string_view> none;
  const std::vector<std::string_view> scriptOnly = {platform::CommandExtensions().front()};
  const auto& all = anyExtension ? none : platform::CommandExtensions();
  const auto& scripts = anyExtension ? none : scriptOnly;
  struct Place {
    std::optional<std::string> directories;
    const std::vector<std::string_view>* extensions;
  };
  const std::string_view saved = context.host->SavedSearchPath();
  const Place places[] = {
      {std::string("."), &all},
      {saved.empty() ? std::nullopt : std::optional<std::string>(saved), &scripts},
      {WindowsDir.empty() ? std::nullopt : std::optional<std::string>(WindowsDir), &all},
      {InterpreterDir, &all},
      {platform::GetEnvironmentValue("KELPATH"), &scripts},
      {platform::GetEnvironmentValue("PATH"), &all},
  };
  for (const Place& place : places) {
    if (!place.directories) continue;
    if (auto found = FindFile(name, std::string_view(*place.directories), *place.extensions, Startable)) return found;
  }
  return std::nullopt;
}

}  // namespace kel
