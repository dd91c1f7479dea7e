#pragma once
// Environment variables as typed script variables: a name without lowercase
// letters denotes one, created on first use from the process environment,
// where entries such as POS.x=10 or LIST[1]=b give it members and elements.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kel {

struct Context;
struct Scalar;
struct Var;

// The process environment the scripts see, as NAME=VALUE entries.
class EnvBlock {
 public:
  EnvBlock();
  // A block of the given entries rather than the process's (for tests).
  explicit EnvBlock(std::vector<std::string> entries) : entries_(entries), received_(std::move(entries)) {}
  const std::vector<std::string>& Entries() const { return entries_; }
  std::vector<std::string>& Entries() { return entries_; }
  // The entries as the process received them, before any write-back.
  const std::vector<std::string>& Received() const { return received_; }

 private:
  std::vector<std::string> entries_;
  std::vector<std::string> received_;
};

// The environment variable [name] of [context]'s environment scope, created
// and filled from the environment block on first use. Returns null after
// raising 6090 for an entry that does not parse.
Var* EnvLookup(Context& context, std::string_view name);

// Rebuilds the environment block from [context]'s environment scope: the
// entries of every variable the scope knows are replaced by the text forms of
// its value (none when it is undefined), and the process environment takes
// the changes, so that the C library and child processes see them.
void EnvWriteBack(Context& context);

// After EnvWriteBack: writes [fileName], the commands with which the command processor that
// started this program takes over the script's changes to its environment
// variables: those it received are cleared, those the script left defined
// are set. Values stay text whatever characters they hold (CMD.EXE:
// @SET "NAME=VALUE" with every % doubled; POSIX: export NAME='VALUE'). Raises
// 6002 and writes nothing when the file cannot be written or a value cannot
// be written safely (a line break for CMD.EXE).
bool WriteEnvUpdateFile(Context& context, const std::string& fileName);

// A number as the environment and command lines write it: an integer in
// decimal, a float as "%f" formats it.
std::string NumberText(const Scalar& value);

// True when [entry] belongs to the variable [name]: it starts with the name,
// in any letter case, followed by "=", "." or "[".
bool EntryBelongsTo(std::string_view entry, std::string_view name);

}  // namespace kel
