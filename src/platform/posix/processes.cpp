// Other programs on POSIX systems.

#include "platform/processes.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace kel::platform {

namespace {

// The exit status a shell reports for [status] from wait: 128 + the signal
// number when a signal ended the program.
int ExitStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

ShellSyntax CommandProcessorSyntax() { return ShellSyntax::Posix; }

// "sh -c" gets the command as one argument, and the kernel takes no single
// argument longer than 32 pages.
std::size_t MaxCommandLength() { return 32 * 4096 - 1; }

int RunCommand(const std::string& command) {
  const int status = std::system(command.c_str());
  return status == -1 ? -1 : ExitStatus(status);
}

namespace {

// Starts [program] with this process's descriptors 0 to 2 (where the script's
// redirections already point) and environment; its process id, or -1.
pid_t Start(const ChildProgram& program) {
  // Refused before anything starts: some systems (and valgrind) report a
  // program that cannot run only as a child that exits with 127.
  if (::access(program.path.c_str(), X_OK) != 0) return -1;
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.path.c_str()));
  for (const std::string& argument : program.arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t child;
  if (::posix_spawn(&child, program.path.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
  return child;
}

}  // namespace

int RunChildAndWait(const ChildProgram& program) {
  const pid_t child = Start(program);
  if (child < 0) return -1;
  int status;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return ExitStatus(status);
}

std::int32_t StartChild(const ChildProgram& program) {
  const pid_t child = Start(program);
  return child < 0 ? -1 : static_cast<std::int32_t>(child);
}

}  // namespace kel::platform
