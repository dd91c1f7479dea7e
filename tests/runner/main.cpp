// The script-test runner: finds every tests/scripts/**/*.kel, runs each in a
// fresh folder with the program under test (natively, or under wine for the
// Win32 build), and compares exit code, standard output and standard error
// with the expectations written in the script's comments.

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "expectations.h"
#include "process.h"
#include "report.h"

namespace fs = std::filesystem;

namespace runner {
namespace {

struct Options {
  std::string platform = "linux";
  fs::path exe;
  fs::path launcher;
  fs::path winePrefix;
  std::string wine = "wine";              // the loader that runs a Windows program
  std::string wineServer = "wineserver";
  int windowsBits = 32;                   // of the Windows program under test
  std::string about;                      // printed first: what is tested, and why
  std::vector<std::string> emulator;      // runs a Linux program of another machine
  fs::path scripts;
  std::string filter;
  unsigned jobs = 2;
  int timeScale = 1;  // every case's time limit times this (slow tools: valgrind)
};

std::string WindowsPath(const fs::path& path) {
  std::string text = "Z:" + fs::absolute(path).string();
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

std::vector<std::pair<std::string, std::string>> WineEnvironment(const Options& options) {
  return {{"WINEPREFIX", options.winePrefix.string()},
          {"WINEDEBUG", "-all"},
          {"WINEDLLOVERRIDES", "mscoree=;mshtml="}};
}

std::vector<std::string> SplitAtBlanks(const std::string& text) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    std::size_t end = at;
    while (end < text.size() && text[end] != ' ' && text[end] != '\t') ++end;
    if (end > at) words.push_back(text.substr(at, end - at));
    at = end;
  }
  return words;
}

std::string Substitute(std::string text, const std::string& name, const std::string& value) {
  for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + value.size())) {
    text.replace(at, name.size(), value);
  }
  return text;
}

// The program's argument vector (and launcher settings) for [test].
ProcessRequest BuildRequest(const Options& options, const TestCase& test, const fs::path& folder) {
  ProcessRequest request;
  request.folder = folder;
  request.stdinText = test.stdinText;
  request.timeoutSeconds = test.timeoutSeconds * options.timeScale;
  request.environment = test.environment;
  const std::string scriptName = test.script.filename().string();
  const bool win32 = options.platform == "win32";
  if (win32) {
    for (auto& entry : WineEnvironment(options)) request.environment.push_back(entry);
  }
  std::optional<std::string> exactLine;
  if (test.win32CommandLine) {
    exactLine = Substitute(*test.win32CommandLine, "$SCRIPT", scriptName);
  } else if (test.command && win32) {
    exactLine = "\"" + WindowsPath(options.exe) + "\" " + Substitute(*test.command, "$SCRIPT", scriptName);
  }
  if (exactLine) {
    request.environment.emplace_back("KEL_LAUNCH_APP", WindowsPath(options.exe));
    request.environment.emplace_back("KEL_LAUNCH_COMMAND_LINE", *exactLine);
    request.argv = {options.wine, options.launcher.string()};
    return request;
  }
  if (win32) request.argv.push_back(options.wine);
  for (const std::string& word : options.emulator) request.argv.push_back(word);
  request.argv.push_back(options.exe.string());
  if (test.command) {
    for (std::string& word : SplitAtBlanks(Substitute(*test.command, "$SCRIPT", scriptName))) {
      request.argv.push_back(word);
    }
  } else {
    request.argv.push_back(scriptName);
    for (const std::string& arg : test.args) request.argv.push_back(arg);
  }
  return request;
}

// Every difference between [result] and [test]'s expectations, or empty.
std::string Compare(const TestCase& test, const ProcessResult& result) {
  std::string problems;
  if (!result.failure.empty()) return "    " + result.failure + "\n";
  if (result.timedOut) problems += "    timed out\n";
  std::string out = WithoutCarriageReturns(result.stdoutText);
  std::string err = WithoutCarriageReturns(result.stderrText);
  if (result.exitCode != test.ExpectedExitCode()) {
    problems += "    exit code " + std::to_string(result.exitCode) + ", expected " +
                std::to_string(test.ExpectedExitCode()) + "\n";
  }
  if (test.hasExpectedStdout && out != test.expectedStdout) {
    problems += "  stdout differs (- expected, + printed):\n" + LineDiff(test.expectedStdout, out);
  }
  for (const std::string& fragment : test.stdoutFragments) {
    if (out.find(fragment) == std::string::npos) problems += "    stdout lacks \"" + Visible(fragment) + "\"\n";
  }
  bool stdoutFree = !test.hasExpectedStdout && test.stdoutFragments.empty() && !test.anyStdout;
  if (stdoutFree && !out.empty()) problems += "  unexpected stdout:\n" + LineDiff("", out);
  for (const std::string& fragment : test.stderrFragments) {
    if (err.find(fragment) == std::string::npos) problems += "    stderr lacks \"" + Visible(fragment) + "\"\n";
  }
  for (const std::string& fragment : test.stderrAbsent) {
    if (err.find(fragment) != std::string::npos) problems += "    stderr holds \"" + Visible(fragment) + "\"\n";
  }
  bool stderrFree = test.stderrFragments.empty() && !test.anyStderr;
  if (stderrFree && !err.empty()) problems += "  unexpected stderr:\n" + LineDiff("", err);
  if (!problems.empty() && !stderrFree && !err.empty()) problems += "  stderr was:\n" + LineDiff("", err);
  return problems;
}

bool CopyFiles(const TestCase& test, const fs::path& work, std::string& error) {
  std::error_code code;
  fs::copy_file(test.script, work / test.script.filename(), code);
  for (const std::string& file : test.files) {
    fs::path from = test.script.parent_path() / file;
    fs::path to = work / file;
    fs::create_directories(to.parent_path(), code);
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing, code);
    if (code) {
      error = "    cannot copy " + from.string() + ": " + code.message() + "\n";
      return false;
    }
  }
  return true;
}

// Why [result] may be the fault of what runs the program rather than of the
// program, or null. NOTE: qemu's user-mode emulator now and then hangs a
// threaded program as it ends, and wine now and then ends a program with
// exit code 1 before it wrote anything (about one run in a thousand when two
// run at once).
const char* RunnerFault(const Options& options, const TestCase& test, const ProcessResult& result) {
  if (result.timedOut && !options.emulator.empty()) return "timed out under the emulator";
  if (options.platform == "win32" && result.exitCode == 1 && test.ExpectedExitCode() != 1 &&
      result.stdoutText.empty() && result.stderrText.empty()) {
    return "ended by wine with exit code 1 before any output";
  }
  return nullptr;
}

// Runs [test] in a fresh folder below [caseFolder]; what differs from its
// expectations. A run that failed by a fault of the emulator or of wine gets
// one more in a folder of its own, and [note] says so.
std::string RunCase(const Options& options, const TestCase& test, const fs::path& caseFolder, std::string& note) {
  for (int attempt = 0;; ++attempt) {
    fs::path work = caseFolder / (attempt == 0 ? "work" : "again");
    fs::create_directories(work);
    std::string problems;
    if (!CopyFiles(test, work, problems)) return problems;
    ProcessResult result = RunProcess(BuildRequest(options, test, work));
    const char* fault = attempt == 0 ? RunnerFault(options, test, result) : nullptr;
    if (fault == nullptr) return Compare(test, result);
    note = "note " + test.name + ": " + fault + "; ran once more\n";
  }
}

// Why [test] does not run against the program under test, or empty.
std::string SkipReason(const Options& options, const TestCase& test) {
  const bool thirtyTwoBitProgram = options.platform == "win32" && options.windowsBits == 32;
  if (test.only32BitReason && !thirtyTwoBitProgram) {
    return "holds only for the 32-bit Windows programs: " + *test.only32BitReason;
  }
  if (test.startsItselfReason && !options.emulator.empty()) {
    return "starts the interpreter as a process of its own, which the emulated program cannot: " +
           *test.startsItselfReason;
  }
  return {};
}

std::vector<TestCase> Discover(const Options& options, std::vector<std::string>& errors) {
  std::vector<fs::path> scripts;
  // One script named alone runs by itself.
  const bool single = fs::is_regular_file(options.scripts);
  const fs::path base = single ? options.scripts.parent_path() : options.scripts;
  if (single) scripts.push_back(options.scripts);
  for (auto entry = single ? fs::recursive_directory_iterator() : fs::recursive_directory_iterator(base);
       entry != fs::recursive_directory_iterator(); ++entry) {
    if (!entry->is_regular_file() || entry->path().extension() != ".kel") continue;
    fs::path relative = fs::relative(entry->path(), base);
    bool isData = false;
    for (const auto& part : relative) isData = isData || part == "data";
    if (!isData) scripts.push_back(entry->path());
  }
  std::sort(scripts.begin(), scripts.end());
  std::vector<TestCase> tests;
  for (const fs::path& script : scripts) {
    std::string name = fs::relative(script, base).string();
    if (!options.filter.empty() && name.find(options.filter) == std::string::npos) continue;
    auto read = ReadTestCase(script, name);
    if (auto* error = std::get_if<std::string>(&read)) {
      errors.push_back(*error);
      continue;
    }
    TestCase test = std::get<TestCase>(read);
    if (test.platform && *test.platform != options.platform) continue;
    tests.push_back(std::move(test));
  }
  return tests;
}

// A fresh prefix is made once, before cases run in parallel; the server is
// kept running so that each case starts in well under a second.
bool PrepareWine(const Options& options) {
  fs::create_directories(options.winePrefix);
  ProcessRequest request;
  request.folder = options.winePrefix / "run";
  fs::create_directories(request.folder);
  request.environment = WineEnvironment(options);
  request.timeoutSeconds = 300;
  if (!fs::exists(options.winePrefix / "system.reg")) {
    request.argv = {options.wine, "wineboot", "--init"};
    ProcessResult boot = RunProcess(request);
    if (!boot.failure.empty()) {
      std::cerr << boot.failure << "\n";
      return false;
    }
  }
  request.argv = {options.wineServer, "-p"};
  RunProcess(request);
  return true;
}

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() { return i + 1 < argc ? std::string(argv[++i]) : std::string(); };
    if (arg == "--platform") options.platform = value();
    else if (arg == "--exe") options.exe = value();
    else if (arg == "--launcher") options.launcher = value();
    else if (arg == "--wine-prefix") options.winePrefix = value();
    else if (arg == "--wine") options.wine = value();
    else if (arg == "--wineserver") options.wineServer = value();
    else if (arg == "--windows-bits") options.windowsBits = std::stoi(value());
    else if (arg == "--about") options.about = value();
    else if (arg == "--emulator") options.emulator = SplitAtBlanks(value());
    else if (arg == "--filter") options.filter = value();
    else if (arg == "--jobs") options.jobs = static_cast<unsigned>(std::stoul(value()));
    else if (arg == "--time-scale") options.timeScale = std::max(1, std::stoi(value()));
    else if (!arg.empty() && arg[0] != '-') options.scripts = arg;
    else return false;
  }
  if (const char* filter = std::getenv("KEL_TEST_FILTER")) options.filter = filter;
  if (options.exe.empty() || options.scripts.empty()) return false;
  // Cases run in folders of their own: every path must stand on its own.
  options.exe = fs::absolute(options.exe);
  options.scripts = fs::absolute(options.scripts);
  if (!options.launcher.empty()) options.launcher = fs::absolute(options.launcher);
  if (!options.winePrefix.empty()) options.winePrefix = fs::absolute(options.winePrefix);
  return true;
}

}  // namespace
}  // namespace runner

int main(int argc, char** argv) {
  using namespace runner;
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::cerr << "usage: kel_test_runner --platform linux|win32 --exe PROGRAM [--launcher EXE]\n"
                 "       [--wine-prefix DIR] [--wine LOADER] [--wineserver SERVER] [--windows-bits 32|64]\n"
                 "       [--about TEXT] [--emulator COMMAND] [--jobs N] [--filter TEXT]\n"
                 "       [--time-scale N] SCRIPTS_FOLDER\n";
    return 2;
  }
  if (!fs::exists(options.exe)) {
    std::cerr << "the program under test does not exist: " << options.exe << "\n";
    return 1;
  }
  std::vector<std::string> errors;
  std::vector<TestCase> tests = Discover(options, errors);
  for (const std::string& error : errors) std::cerr << "BAD TEST " << error << "\n";
  if (options.platform == "win32" && !PrepareWine(options)) return 1;

  char pattern[] = "/tmp/kel-tests-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  fs::path root = pattern;
  std::atomic<std::size_t> next{0};
  std::atomic<int> failed{0};
  std::atomic<int> skipped{0};
  std::mutex printing;
  if (!options.about.empty()) std::cout << options.about << "\n";
  auto worker = [&]() {
    for (std::size_t index = next++; index < tests.size(); index = next++) {
      const TestCase& test = tests[index];
      if (std::string reason = SkipReason(options, test); !reason.empty()) {
        ++skipped;
        std::lock_guard<std::mutex> lock(printing);
        std::cout << "skip " << test.name << " [" << options.platform << "]: " << reason << "\n";
        continue;
      }
      std::string note;
      std::string problems = RunCase(options, test, root / ("case-" + std::to_string(index)), note);
      std::lock_guard<std::mutex> lock(printing);
      std::cout << note;
      if (problems.empty()) {
        std::cout << "pass " << test.name << "\n";
      } else {
        ++failed;
        std::cout << "FAIL " << test.name << " [" << options.platform << "]\n" << problems;
      }
      std::cout.flush();
    }
  };
  std::vector<std::thread> workers;
  for (unsigned i = 0; i < std::max(1u, options.jobs); ++i) workers.emplace_back(worker);
  for (std::thread& thread : workers) thread.join();
  std::error_code ignored;
  if (failed == 0) fs::remove_all(root, ignored);
  std::cout << tests.size() - static_cast<std::size_t>(failed + skipped) << " passed, " << failed << " failed, "
            << skipped << " skipped (" << options.platform << ")\n";
  return failed == 0 && errors.empty() ? 0 : 1;
}
