// Running a program under test with posix_spawn.

#include "process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

extern char** environ;

namespace runner {

namespace {

std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> BuildEnvironment(const std::vector<std::pair<std::string, std::string>>& extra) {
  std::map<std::string, std::string> values;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string text = *entry;
    std::size_t equals = text.find('=');
    if (equals != std::string::npos) values[text.substr(0, equals)] = text.substr(equals + 1);
  }
  for (const auto& [name, value] : extra) values[name] = value;
  std::vector<std::string> result;
  for (const auto& [name, value] : values) result.push_back(name + "=" + value);
  return result;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

ProcessResult RunProcess(const ProcessRequest& request) {
  ProcessResult result;
  // The captured streams live beside the working folder, where a script that
  // lists its folder does not see them.
  std::filesystem::path inPath = request.folder.parent_path() / "stdin";
  std::filesystem::path outPath = request.folder.parent_path() / "stdout";
  std::filesystem::path errPath = request.folder.parent_path() / "stderr";
  std::ofstream(inPath, std::ios::binary) << request.stdinText;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, request.folder.c_str());
  posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);

  std::vector<std::string> argv = request.argv;
  std::vector<std::string> environment = BuildEnvironment(request.environment);
  std::vector<char*> argvPointers = Pointers(argv);
  std::vector<char*> environmentPointers = Pointers(environment);
  pid_t pid = 0;
  int status = posix_spawnp(&pid, argv[0].c_str(), &actions, &attributes, argvPointers.data(),
                            environmentPointers.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (status != 0) {
    result.failure = "cannot start " + argv[0] + ": " + std::strerror(status);
    return result;
  }

  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(request.timeoutSeconds);
  int waitStatus = 0;
  for (;;) {
    pid_t done = waitpid(pid, &waitStatus, WNOHANG);
    if (done == pid) break;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(-pid, SIGKILL);
      waitpid(pid, &waitStatus, 0);
      result.timedOut = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (WIFEXITED(waitStatus)) result.exitCode = WEXITSTATUS(waitStatus);
  if (WIFSIGNALED(waitStatus)) result.exitCode = 128 + WTERMSIG(waitStatus);
  result.stdoutText = ReadWholeFile(outPath);
  result.stderrText = ReadWholeFile(errPath);
  return result;
}

}  // namespace runner
