// The run driver: the top-level context, the command line's options and modes,
// and one run from loading to its exit code.

#include "front/driver.h"

#include <cstdio>
#include <vector>

#include "engine/messages.h"
#include "front/command_line.h"
#include "front/context.h"
#include "front/host.h"
#include "front/paths.h"
#include "front/process.h"
#include "front/tokenizer.h"
#include "platform/paths.h"

namespace kel {

namespace {

constexpr int kVersionMajor = 2;
constexpr int kVersionMinor = 11;

void DefinePlatformMacros(Context& context) {
  for (const char* name : context.host->PlatformMacros()) context.defines->Define(name, 1L);
}

// The banner and usage lines, printed when no program is named.
void PrintBanner(const Host& host) {
  const char* name = host.ProgramName();
  std::printf(MessageText(MSG_BANNER), name, kVersionMajor, kVersionMinor, MessageText(MSG_EDITION));
  std::printf("%s", MessageText(MSG_NOTICE));
  std::printf(MessageText(MSG_USAGE_SYNTAX), name);
  std::printf("%s", MessageText(MSG_USAGE_BIND));
  std::printf(MessageText(MSG_USAGE_CODE), name);
  std::printf(MessageText(MSG_USAGE_FILE), "kel");
  std::printf(MessageText(MSG_USAGE_BATCH), "BAT", "GOTO VETRA_EXIT", ":VETRA_EXIT");
  std::printf("%s", MessageText(MSG_USAGE_ARGS));
  std::printf(MessageText(MSG_USAGE_EXAMPLE1), name);
  std::printf(MessageText(MSG_USAGE_EXAMPLE2), name);
  std::fflush(stdout);
}

// The words of the run and whether they name a file; code runs with the
// interpreter's own path as its only word.
struct RunArguments {
  std::vector<std::string> words;
  unsigned mode;
};

RunArguments PrepareArguments(const std::string& text, unsigned mode) {
  RunArguments arguments{{}, mode};
  if (mode == RUN_MODE_FILE || mode == RUN_MODE_DECIDE) {
    if (ProgramIsBound()) arguments.words.push_back(InterpreterPath());
    std::vector<std::string> words = SplitArguments(text);
    arguments.words.insert(arguments.words.end(), words.begin(), words.end());
    if (mode == RUN_MODE_DECIDE) {
      arguments.mode = NamesProgramFile(arguments.words) ? RUN_MODE_FILE : RUN_MODE_CODE;
    }
  }
  if (arguments.mode == RUN_MODE_CODE) arguments.words = {InterpreterPath()};
  if (arguments.mode == RUN_MODE_FILE) {
    if (arguments.words.empty()) arguments.words.emplace_back();
    std::string& name = arguments.words[0];
    if (name != "-" && SplitPath(name).extension.empty()) name += ".kel";
  }
  return arguments;
}

}  // namespace

bool RunProgram(Context& parent, std::string_view textIn, bool callMain, unsigned flags,
                std::int32_t& exitCode) {
  std::string text = Trimmed(textIn);
  RunArguments arguments = PrepareArguments(text, flags & RUN_MODE_MASK);
  const bool isFile = arguments.mode == RUN_MODE_FILE;
  if (isFile) parent.host->ShowRunningScript(arguments.words[0]);

  bool ok = true;
  {
    Context run(parent, callMain ? OWNS_ALL : 0);
    std::string& source = isFile ? arguments.words[0] : text;
    if (!Tokenize(run, source, isFile)) {
      exitCode = 255;
      ok = false;
    } else {
      // A program that loaded runs nothing yet; binding writes nothing yet.
      exitCode = 0;
    }
    run.functions->Remove(kGlobalInitName);
  }
  if (isFile) parent.host->RestoreTitle();
  if (CloseRequested) ExitRequest(parent, 255);
  return ok;
}

int RunDriver(std::string_view commandLineIn, Host* host) {
  std::string commandLine = Trimmed(commandLineIn);
  std::int32_t exitCode = 0;
  {
    Context context(host);
    DefinePlatformMacros(context);
    if (ProgramIsBound()) {
      RunProgram(context, commandLine, true, RUN_MODE_FILE, exitCode);
    } else if (commandLine.empty()) {
      PrintBanner(*host);
    } else {
      std::string target;
      if (TakeBindOption(commandLine, target)) {
        if (SplitPath(target).extension.empty()) target += platform::ExecutableExtension();
        BindTarget = target;
      }
      unsigned mode = TakeQuotedCode(commandLine) ? RUN_MODE_CODE : RUN_MODE_DECIDE;
      RunProgram(context, commandLine, true, mode, exitCode);
    }
  }
  return exitCode;
}

}  // namespace kel
