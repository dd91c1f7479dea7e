// The interactive shell: the prompt, a line editor with history and the
// script's key and line filters, and each line run as a Kel script, a
// program, or Kel code.

#include "run/shell.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/host.h"
#include "base/process.h"
#include "base/text.h"
#include "engine/calls.h"
#include "engine/context.h"
#include "engine/environment.h"
#include "engine/functions.h"
#include "engine/value.h"
#include "front/command_search.h"
#include "library/arguments.h"
#include "library/process.h"
#include "library/tables.h"
#include "platform/paths.h"
#include "platform/processes.h"
#include "run/driver.h"

namespace kel {

namespace {

// A script function the shell calls for every line (slot 0) or key (slot 1).
struct ShellFilter {
  FunctionRecord* function = nullptr;
  std::string name;
  std::int32_t extra = 0;  // the key filter: printable keys too when not 0
};

struct ShellState {
  ShellFilter filters[2];
  std::vector<std::string> history;
};

ShellState* activeShell = nullptr;

constexpr int kBackspace = 8, kEnter = 13, kNewLine = 10, kEscape = 27;
constexpr int kLeft = 75, kRight = 77, kUp = 72, kDown = 80, kHome = 71, kEnd = 79, kDelete = 83;

// ===================================================================
// The filters
// ===================================================================

// ShellFilterCommand(name) and ShellFilterCharacter(name, extra): the slot
// takes the script function of that name; the name it held before, or 0.
void Shell_filter(CallFrame& frame) {
  const char* name = GetString(frame, 0);
  if (name == nullptr || activeShell == nullptr) return;
  ShellFilter& slot = activeShell->filters[frame.argCount == 1 ? 0 : 1];
  const std::string before = slot.name;
  if (FunctionRecord* function = frame.run->functions->Find(name)) {
    std::int32_t extra = 0;
    if (frame.argCount == 2 && !GetInteger(frame, 1, extra)) return;
    HoldFunction(function);
    if (slot.function != nullptr) ReleaseFunction(slot.function);
    slot = ShellFilter{function, name, extra};
  }
  if (before.empty()) {
    ReturnInt(frame, 0);
  } else {
    ReturnString(frame, before);
  }
}

constexpr LibraryEntry kShellRows[] = {
    {"ShellFilterCommand",   Shell_filter, 1, 1},
    {"ShellFilterCharacter", Shell_filter, 2, 2},
};

// Calls [filter] with [args] in a run of its own, so that an error in it
// ends only that call. False when it failed; [result] gets its value.
bool CallFilter(Context& context, const ShellFilter& filter, Var** args, std::int32_t count, Var*& result) {
  Context run(context, 0);
  Operand value;
  const bool ran = CallFunction(run, nullptr, filter.function, args, count, value);
  result = ran ? CopyToFreshVar(run, value) : nullptr;
  return result != nullptr;
}

std::string TextOf(Var* var) {
  std::string text;
  return ValueText(var, text) ? text : std::string();
}

// ===================================================================
// Reading a line
// ===================================================================

// The prompt: PROMPT, or "[Vetra  $P]: ", with $E escape, $G ">", $H
// backspace, $P the current directory, and "$" before anything else that.
std::string Prompt() {
  const std::string written = platform::GetEnvironmentValue("PROMPT").value_or("[Vetra  $P]: ");
  std::string prompt;
  for (std::size_t i = 0; i < written.size(); ++i) {
    if (written[i] != '$' || i + 1 == written.size()) {
      prompt += written[i];
      continue;
    }
    switch (AsciiUpper(written[++i])) {
      case 'E': prompt += '\x1b'; break;
      case 'G': prompt += '>'; break;
      case 'H': prompt += '\b'; break;
      case 'P': prompt += platform::FullPath("."); break;
      default: prompt += written[i];
    }
  }
  return prompt;
}

class LineEditor {
 public:
  LineEditor(Context& context, ShellState& state) : context_(context), state_(state) {}

  // The next line, trimmed; false at the end of input or when closing.
  bool Read(std::string& line) {
    prompt_ = Prompt();
    context_.host->WriteStandardOutput(prompt_.c_str());
    recalled_ = state_.history.size();
    BreakRequested = 0;
    for (;;) {
      ShellKey key;
      const bool read = context_.host->ReadShellKey(key);
      if (CloseRequested) return false;
      if (BreakRequested) {  // a break clears the line being edited, and the shell reads on
        BreakRequested = 0;
        Replace(std::string(), 0);
        if (!read) continue;  // the break cut the read short: no key came
      }
      if (!read) return Finish(line, !line_.empty());
      if (!FilterKey(key)) continue;
      if (!key.extended && (key.code == kEnter || key.code == kNewLine)) return Finish(line, true);
      Apply(key);
    }
  }

 private:
  bool Finish(std::string& line, bool got) {
    context_.host->WriteStandardOutput("\n");
    context_.host->EndShellLine();
    const std::size_t first = line_.find_first_not_of(" \t\r\n");
    line = first == std::string::npos ? std::string() : line_.substr(first, line_.find_last_not_of(" \t\r\n") - first + 1);
    line_.clear();
    cursor_ = 0;
    shown_ = 0;
    return got;
  }

  static bool Printable(const ShellKey& key) { return !key.extended && key.code >= 32 && key.code != 127 && key.code < 256; }

  // The key filter sees the key (and may change the line, the cursor and
  // the key itself); false when the key is dropped.
  bool FilterKey(ShellKey& key) {
    const ShellFilter& filter = state_.filters[1];
    if (filter.function == nullptr || (Printable(key) && filter.extra == 0)) return true;
    Var* args[5] = {NewByteArrayVar(line_.data(), static_cast<std::uint32_t>(line_.size()), true),
                    NewIntVar(static_cast<std::int32_t>(cursor_)), NewByteVar(static_cast<std::uint8_t>(key.code)),
                    NewByteVar(key.extended ? 1 : 0), NewByteVar(Printable(key) ? 1 : 0)};
    for (Var* arg : args) arg->flags = 1;
    Var* result = nullptr;
    if (CallFilter(context_, filter, args, 5, result)) {
      const int truth = TruthValue(context_, result);
      if (truth > 0) {
        const std::int32_t cursor = GetInt(args[1]);
        const std::string text = TextOf(args[0]);
        Replace(text, static_cast<std::size_t>(std::clamp<std::int32_t>(cursor, 0, static_cast<std::int32_t>(text.size()))));
      }
      key.code = GetInt(args[2]) & 0xFF;
      key.extended = GetInt(args[3]) != 0;
      ReleaseVar(result);
    }
    for (Var* arg : args) ReleaseVar(arg);
    return key.code != 0;
  }

  void Apply(const ShellKey& key) {
    if (Printable(key)) {
      Replace(std::string(line_).insert(cursor_, 1, static_cast<char>(key.code)), cursor_ + 1);
      return;
    }
    if (!key.extended) {
      if (key.code == kBackspace && cursor_ > 0) Replace(std::string(line_).erase(cursor_ - 1, 1), cursor_ - 1);
      if (key.code == kEscape) Replace(std::string(), 0);
      return;
    }
    switch (key.code) {
      case kLeft: Replace(line_, cursor_ > 0 ? cursor_ - 1 : 0); break;
      case kRight: Replace(line_, std::min(cursor_ + 1, line_.size())); break;
      case kHome: Replace(line_, 0); break;
      case kEnd: Replace(line_, line_.size()); break;
      case kDelete:
        if (cursor_ < line_.size()) Replace(std::string(line_).erase(cursor_, 1), cursor_);
        break;
      case kUp:
      case kDown: Recall(key.code == kUp ? -1 : 1); break;
      default: break;
    }
  }

  // An earlier line of the session ([step] -1) or a later one (+1; past the
  // newest, an empty line).
  void Recall(int step) {
    if (step < 0 && recalled_ == 0) return;
    if (step > 0 && recalled_ >= state_.history.size()) return;
    recalled_ = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(recalled_) + step);
    const std::string text = recalled_ < state_.history.size() ? state_.history[recalled_] : std::string();
    Replace(text, text.size());
  }

  // Shows [text] with the cursor at [cursor]: the line is written again after
  // the prompt, what was longer blanked, and the cursor moved back.
  void Replace(const std::string& text, std::size_t cursor) {
    if (text == line_ && cursor == cursor_) return;
    // Typing and erasing at the end, the usual edits, touch only that end.
    const bool atEnds = cursor == text.size() && cursor_ == line_.size() && shown_ == line_.size();
    if (atEnds && text.size() == line_.size() + 1 && text.compare(0, line_.size(), line_) == 0) {
      Show(std::string(1, text.back()), text, cursor);
      return;
    }
    if (atEnds && text.size() + 1 == line_.size() && line_.compare(0, text.size(), text) == 0) {
      Show("\b \b", text, cursor);
      return;
    }
    line_ = text;
    cursor_ = cursor;
    std::string out = "\r" + prompt_ + line_;
    const std::size_t blank = shown_ > line_.size() ? shown_ - line_.size() : 0;
    out.append(blank, ' ');
    out.append(blank + line_.size() - cursor_, '\b');
    shown_ = line_.size();
    context_.host->WriteStandardOutput(out.c_str());
  }

  void Show(const std::string& out, const std::string& text, std::size_t cursor) {
    line_ = text;
    cursor_ = cursor;
    shown_ = line_.size();
    context_.host->WriteStandardOutput(out.c_str());
  }

  Context& context_;
  ShellState& state_;
  std::string prompt_;
  std::string line_;
  std::size_t cursor_ = 0;
  std::size_t shown_ = 0;
  std::size_t recalled_ = 0;
};

// The line filter's version of [line]; empty when the filter failed.
std::string FilterLine(Context& context, const ShellFilter& filter, const std::string& line) {
  Var* text = NewByteArrayVar(line.data(), static_cast<std::uint32_t>(line.size()), true);
  text->flags = 1;
  Var* result = nullptr;
  std::string filtered;
  if (CallFilter(context, filter, &text, 1, result)) {
    filtered = TextOf(result);
    ReleaseVar(result);
  }
  ReleaseVar(text);
  return filtered;
}

// ===================================================================
// Running a line
// ===================================================================

// A Kel script runs in this process with the line's words, another program
// as a child that is waited for, and anything else as Kel code.
void RunLine(Context& context, const std::string& line) {
  std::vector<std::string> words = SplitCommandWords(line);
  std::int32_t exitCode = 0;
  const auto found = words.empty() ? std::nullopt : FindCommand(context, words[0]);
  if (!found) {
    RunProgram(context, line, true, RUN_MODE_CODE, nullptr, exitCode);
    return;
  }
  words[0] = *found;
  if (IsKelScript(*found)) {
    RunProgram(context, *found, true, RUN_MODE_FILE, nullptr, exitCode, &words);
    return;
  }
  PrepareChildProcess(context);
  platform::RunChildAndWait({*found, std::vector<std::string>(words.begin() + 1, words.end())});
}

// Runs the start-up script [name] when the command search finds it.
void RunStartupScript(Context& context, const char* name, bool callMain) {
  if (auto path = FindCommand(context, name)) {
    std::int32_t exitCode = 0;
    RunProgram(context, *path, callMain, RUN_MODE_FILE, nullptr, exitCode);
  }
}

}  // namespace

int RunShell(Context& context, void (*printBanner)(Host& host)) {
  ShellState state;
  activeShell = &state;
  context.defines->Define("_SHELL_", 1L);
  printBanner(*context.host);
  SetShellRows(kShellRows);
  RunStartupScript(context, "autoload.kel", false);
  RunStartupScript(context, "autoexec.kel", true);
  LineEditor editor(context, state);
  std::string line;
  while (context.runState == RUN_RUNNING && editor.Read(line)) {
    if (line.empty()) continue;
    state.history.push_back(line);  // as typed, for Up and Down
    if (state.filters[0].function != nullptr) {
      line = FilterLine(context, state.filters[0], line);
      if (CloseRequested) break;
    }
    if (EqualsIgnoreCase(line, "EXIT")) break;
    if (line.empty()) continue;
    RunLine(context, line);
  }
  SetShellRows({});
  for (ShellFilter& filter : state.filters) {
    if (filter.function != nullptr) ReleaseFunction(filter.function);
  }
  activeShell = nullptr;
  return 0;
}

}  // namespace kel
