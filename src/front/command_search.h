#pragma once
// The command search of the shell and of spawn: where a command name is
// looked for as a program or a Kel script.

#include <optional>
#include <string>
#include <string_view>

namespace kel {

struct Context;

// The full path of the command [name] (one pair of enclosing quotes
// dropped): tried in the current directory, the saved search path, the
// interpreter's directory, KELPATH and PATH, as a Kel script or a program.
// Nothing when it is found nowhere.
std::optional<std::string> FindCommand(Context& context, std::string_view name);

// True when [path] names a Kel script (".kel" in any case), which runs inside
// this interpreter instead of as a process.
bool IsKelScript(std::string_view path);

}  // namespace kel
