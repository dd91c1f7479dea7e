// The run driver: the top-level context, the command line's options and modes,
// and one run from loading to its exit code.

#include "run/driver.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

#include "base/host.h"
#include "base/paths.h"
#include "base/process.h"
#include "engine/calls.h"
#include "engine/context.h"
#include "engine/environment.h"
#include "engine/functions.h"
#include "engine/messages.h"
#include "engine/scope.h"
#include "engine/value.h"
#include "front/bound_program.h"
#include "front/source.h"
#include "front/tokenizer.h"
#include "library/tables.h"
#include "platform/paths.h"
#include "run/command_line.h"
#include "run/shell.h"

namespace kel {

namespace {

constexpr int kVersionMajor = 2;
// The most runs nested inside one another (Interpret, spawn of a script).
constexpr std::uint32_t kMaxRunDepth = 1000;
constexpr int kVersionMinor = 11;

void DefinePlatformMacros(Context& context) {
  for (const char* name : context.host->PlatformMacros()) context.defines->Define(name, 1L);
}

// The library's group states end with the context that started them.
void EndLibraryHook(Context& context, void*) { DestroyLibrary(context); }

// The program's name, version and edition: the banner's first line.
std::string VersionLine(Host& host) {
  return FormatMessage(MSG_BANNER, host.ProgramName(), kVersionMajor, kVersionMinor, MessageText(MSG_EDITION));
}

// The banner and usage lines, printed when no program is named.
void PrintBanner(Host& host) {
  const char* name = host.ProgramName();
  const std::string lines[] = {
      VersionLine(host),
      FormatMessage(MSG_NOTICE),
      FormatMessage(MSG_USAGE_SYNTAX, name),
      FormatMessage(MSG_USAGE_BIND),
      FormatMessage(MSG_USAGE_CODE, name),
      FormatMessage(MSG_USAGE_FILE, "kel"),
      FormatMessage(MSG_USAGE_BATCH, "BAT", "GOTO VETRA_EXIT", ":VETRA_EXIT"),
      FormatMessage(MSG_USAGE_ARGS),
      FormatMessage(MSG_USAGE_EXAMPLE1, name),
      FormatMessage(MSG_USAGE_EXAMPLE2, name),
  };
  for (const std::string& line : lines) host.WriteStandardOutput(line.c_str());
}

// The words of the run and whether they name a file; code runs with the
// interpreter's own path as its only word.
struct RunArguments {
  std::vector<std::string> words;
  unsigned mode;
};

// A bound executable's words start with its own path, which names the program.
RunArguments PrepareArguments(Context& context, const std::string& text, unsigned flags) {
  const unsigned mode = flags & RUN_MODE_MASK;
  RunArguments arguments{{}, mode};
  if ((flags & RUN_BOUND) != 0) {
    arguments.words = SplitArguments(text);
    arguments.words.insert(arguments.words.begin(), InterpreterPath());
    return arguments;
  }
  if (mode == RUN_MODE_FILE || mode == RUN_MODE_DECIDE) {
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
    // A script installed under a plain name ("#!" scripts on POSIX) runs as
    // itself when no "name.kel" is there to come first.
    if (name != "-" && SplitPath(name).extension.empty()) {
      const bool plain = platform::ScriptsMayLackExtension() && !SourceExists(context, name + ".kel") &&
                         platform::IsExistingFile(name);
      if (!plain) name += ".kel";
    }
  }
  return arguments;
}

// The globals _argc and _argv: the words of the run, with the interpreter's
// own path at index -1 of _argv.
void CreateArguments(Context& run, const std::vector<std::string>& words) {
  Var* argc = run.globals->Create("_argc");
  if (!SetTypeAndDims(run, argc, KEL_INT, 0)) return;
  SetInt(argc, static_cast<std::int32_t>(words.size()));
  Var* argv = run.globals->Create("_argv");
  if (!SetTypeAndDims(run, argv, KEL_BYTE, 2)) return;
  std::string interpreter = InterpreterPath();
  for (std::int32_t i = -1; i < static_cast<std::int32_t>(words.size()); ++i) {
    const std::string& text = i < 0 ? interpreter : words[static_cast<std::size_t>(i)];
    Var* literal = NewByteArrayVar(text.data(), static_cast<std::uint32_t>(text.size()), true);
    Var* element = ElementRef(argv, i);
    static_cast<void>(AssignStringLiteral(run, element, literal));  // a fresh text array always takes it
    ReleaseVar(element);
    ReleaseVar(literal);
  }
}

// Turns how a call of the global code or main ended into the exit code;
// false when the run is over (error or exit request).
bool TakeOutcome(Context& run, Operand& result, std::int32_t& exitCode) {
  if (run.runState == RUN_ERROR) {
    exitCode = 255;
    return false;
  }
  if (run.runState == RUN_EXIT) {
    exitCode = run.exitCode;
    return false;
  }
  if (result.IsDefined()) exitCode = ScalarToInt(result.Value());
  return true;
}

// Runs the loaded program: the global code, then main with _argc and _argv.
void RunLoaded(Context& run, bool callMain, const std::vector<std::string>& words,
               const FunctionRecord* mainBefore, std::int32_t& exitCode) {
  exitCode = 0;
  if (callMain) CreateArguments(run, words);
  FunctionRecord* init = run.functions->Find(kGlobalInitName);
  Operand result;
  CallFunction(run, nullptr, init, nullptr, 0, result);
  if (!TakeOutcome(run, result, exitCode) || !callMain) return;
  FunctionRecord* main = run.functions->Find("main");
  if (main == nullptr || main == mainBefore) return;
  Var* args[2] = {run.globals->Lookup("_argc"), run.globals->Lookup("_argv")};
  Operand mainResult;
  CallFunction(run, nullptr, main, args, 2, mainResult);
  TakeOutcome(run, mainResult, exitCode);
}

// The end of a run that ran: its atexit functions, then its library groups
// (streams closed, redirections put back). An error or exit in either ends
// the run as it would have in its body; an error already reported keeps 255.
void FinishRun(Context& run, bool ownsLibrary, std::int32_t& exitCode) {
  if (run.runState == RUN_ERROR) return;
  const std::uint16_t hooks = run.RunEndHooks();
  if (hooks == RUN_ERROR) {
    run.runState = RUN_ERROR;
    exitCode = 255;
    return;
  }
  if (hooks == RUN_EXIT) {
    ExitRequest(run, run.exitCode);
    exitCode = run.exitCode;
  }
  if (!ownsLibrary) return;
  run.position = nullptr;  // what closing reports belongs to no line
  DestroyLibrary(run);
  if (run.runState == RUN_ERROR) exitCode = 255;
}

}  // namespace

bool RunProgram(Context& parent, std::string_view textIn, bool callMain, unsigned flags, CallFrame* callerFrame,
                std::int32_t& exitCode, const std::vector<std::string>* words) {
  std::string text = Trimmed(textIn);
  RunArguments arguments = words != nullptr ? RunArguments{*words, RUN_MODE_FILE} : PrepareArguments(parent, text, flags);
  const bool isFile = arguments.mode == RUN_MODE_FILE;
  if (isFile) parent.host->ShowRunningScript(arguments.words[0]);

  // A fresh global scope stands in for the parent's during the run.
  VarList* setAside = parent.globals;
  auto fresh = (flags & RUN_FRESH_GLOBALS) != 0 ? std::make_unique<VarList>(nullptr) : nullptr;
  if (fresh) parent.globals = fresh.get();

  bool ok = true;
  {
    Context run(parent, callMain ? OWNS_ALL : 0);
    run.callerFrame = callerFrame;
    if (callMain) {
      InheritLibrary(run);
      run.resources.push_back({EndLibraryHook, nullptr});
    }
    const FunctionRecord* mainBefore = callMain ? run.functions->Find("main") : nullptr;
    const FunctionRecord* initBefore = run.functions->Find(kGlobalInitName);
    std::string& source = isFile ? arguments.words[0] : text;
    if (run.depth > kMaxRunDepth) {
      // Runs nested this deep (Interpret calling itself) would make every
      // name lookup walk the whole chain: the innermost fails as if the
      // stack had run out, and its callers go on.
      RaiseError(run, MSG_8000);
      exitCode = 255;
      ok = false;
    } else if ((flags & RUN_BOUND) != 0 ? !ReadBoundProgram(run) : !Tokenize(run, source, isFile)) {
      exitCode = 255;
      ok = false;
    } else if (!BindTarget.empty()) {
      WriteBoundProgram(run);  // nothing of the program runs
      ok = run.runState != RUN_ERROR;
      exitCode = ok ? 0 : 255;
    } else {
      // A script starts, as a C program does, with no error noted: finding
      // and reading its files must not leave theirs behind.
      if (callerFrame == nullptr) errno = 0;
      RunLoaded(run, callMain, arguments.words, mainBefore, exitCode);
      FinishRun(run, callMain, exitCode);
      ok = run.runState != RUN_ERROR;
    }
    // Only this run's global code goes: a nested run that shares its
    // parent's functions must not take the parent's.
    const FunctionRecord* init = run.functions->Find(kGlobalInitName);
    if (init != initBefore) run.functions->Remove(init);
  }
  if (fresh) {
    parent.globals = setAside;
    // Functions such a run left in the parent's table may have bound names
    // in the fresh scope.
    if (!callMain) parent.lentScopes.push_back(std::move(fresh));
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
    SetNestedRunner(RunProgram);
    DefinePlatformMacros(context);
    RegisterLibrary(context);
    context.resources.push_back({EndLibraryHook, nullptr});
    if (ProgramIsBound()) {
      RunProgram(context, commandLine, true, RUN_MODE_FILE | RUN_BOUND, nullptr, exitCode);
    } else if (commandLine.empty()) {
      exitCode = RunShell(context, PrintBanner);
    } else if (commandLine == "--help" || commandLine == "-h" || commandLine == "-?") {
      PrintBanner(*host);
    } else if (commandLine == "--version" || commandLine == "-v") {
      host->WriteStandardOutput((VersionLine(*host) + "\n").c_str());
    } else {
      std::string target;
      if (TakeBindOption(commandLine, target)) {
        if (SplitPath(target).extension.empty()) target += platform::ExecutableExtension();
        BindTarget = target;
      }
      unsigned mode = TakeQuotedCode(commandLine) ? RUN_MODE_CODE : RUN_MODE_DECIDE;
      RunProgram(context, commandLine, true, mode, nullptr, exitCode);
    }
    // A run that ended while the console was closing asked for 255.
    if (context.runState == RUN_EXIT) exitCode = context.exitCode;
    // The command processor that started us takes over the script's
    // environment changes through the update file it names; a file that
    // could not be written fails the program.
    const Var* named = context.environment->LookupHere("VETRA_ESET");
    if (platform::GetEnvironmentValue("VETRA_ESET") || (named != nullptr && IsDefined(named))) {
      EnvWriteBack(context);  // the script may have named the file itself, and the file needs it
      if (auto file = platform::GetEnvironmentValue("VETRA_ESET"); file && !file->empty()) {
        if (!WriteEnvUpdateFile(context, *file)) exitCode = 255;
      }
    }
    // Output the system could not take (a full disk, a closed device) is lost
    // output: said, and the program fails.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
      RaiseErrorAlways(context, MSG_0004, "stdout");
      exitCode = 255;
    }
  }
  return exitCode;
}

}  // namespace kel
