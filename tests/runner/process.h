#pragma once
// Running one program with a given argument vector, environment, standard
// input and working folder, and collecting what it printed.

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace runner {

struct ProcessResult {
  int exitCode = -1;  // the exit status, or 128 + the signal number
  bool timedOut = false;
  std::string stdoutText;
  std::string stderrText;
  std::string failure;  // set when the program could not be started
};

struct ProcessRequest {
  std::vector<std::string> argv;
  std::vector<std::pair<std::string, std::string>> environment;  // added to the runner's own
  std::string stdinText;
  std::filesystem::path folder;
  int timeoutSeconds = 30;
};

ProcessResult RunProcess(const ProcessRequest& request);

}  // namespace runner
