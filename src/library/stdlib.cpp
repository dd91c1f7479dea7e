// The standard library: integer arithmetic, conversions, random numbers,
// sorting and searching with script compare functions, the environment and
// the command processor, and the ways a run ends (exit, abort, atexit).

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "base/c_long.h"
#include "base/fast_paths.h"
#include "base/process.h"
#include "base/text.h"
#include "engine/calls.h"
#include "engine/context.h"
#include "engine/environment.h"
#include "engine/evaluate.h"
#include "engine/functions.h"
#include "engine/macros.h"
#include "engine/messages.h"
#include "engine/pure_integer.h"
#include "engine/value.h"
#include "library/arguments.h"
#include "library/format.h"
#include "library/groups.h"
#include "library/process.h"
#include "library/sort_list.h"
#include "platform/paths.h"
#include "platform/processes.h"
#include "platform/system.h"

namespace kel {

namespace {

// ===================================================================
// Arithmetic and conversion
// ===================================================================

void Stdlib_abs(CallFrame& frame) {
  std::int32_t value;
  if (!GetInteger(frame, 0, value)) return;
  ReturnInt(frame, value < 0 ? static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(value)) : value);
}

// div(a, b): a structure with quot, then rem.
void Stdlib_div(CallFrame& frame) {
  std::int32_t a, b;
  if (!GetInteger(frame, 0, a) || !GetInteger(frame, 1, b)) return;
  if (b == 0) {
    RaiseError(*frame.run, MSG_1702);
    return;
  }
  std::int32_t quotient = (a == INT32_MIN && b == -1) ? a : a / b;
  std::int32_t remainder = b == -1 ? 0 : a % b;
  Var* result = NewVar(KEL_STRUCT);
  SetMemberInt(*frame.run, result, "quot", quotient);
  SetMemberInt(*frame.run, result, "rem", remainder);
  SetReturn(frame, result, ReturnKind::HANDED_OVER);
}

// max's variant of the handler it shares with min.
constexpr std::uint32_t kMaximum = 1;

// min and max order their arguments as the language compares values; the
// earliest of equal ones wins.
void Stdlib_minmax(CallFrame& frame) {
  const bool wantMax = CalledVariant(frame) == kMaximum;
  Var* best = GetParameter(frame, 0, PARAM_ANY);
  if (best == nullptr) return;
  for (std::int32_t i = 1; i < frame.argCount; ++i) {
    Operand current, candidate;
    current.SetBorrowed(best);
    candidate.SetBorrowed(frame.args[i]);
    int order = CompareValues(candidate, current);
    if (wantMax ? order > 0 : order < 0) best = frame.args[i];
  }
  SetReturn(frame, best, ReturnKind::COPIED);
}

void Stdlib_atoi(CallFrame& frame) {
  if (const char* text = GetString(frame, 0)) ReturnInt(frame, StringToLong32(text, nullptr, 10));
}

void Stdlib_atof(CallFrame& frame) {
  if (const char* text = GetString(frame, 0)) ReturnFloat(frame, std::atof(text));
}

// The end argument of strtol and strtod receives a reference into the text
// at the first character not converted.
bool StoreEnd(CallFrame& frame, int i, Var* text, std::int32_t offset) {
  if (frame.argCount <= i) return true;
  Var* end = GetParameter(frame, i, PARAM_ANY);
  if (end == nullptr) return false;
  ArrayRef array = ResolveArray(text);
  std::unique_ptr<Var, void (*)(Var*)> reference(NewVarOn(array.data, array.origin + offset, 0), ReleaseVar);
  return Assign(*frame.run, end, reference.get());
}

void Stdlib_strtol(CallFrame& frame) {
  const char* text = GetString(frame, 0);
  if (text == nullptr) return;
  std::int32_t base = 0;
  if (frame.argCount > 2 && !GetInteger(frame, 2, base)) return;
  if (base < 0 || base == 1 || base > 36) base = 0;
  char* stop = nullptr;
  const std::int32_t value = StringToLong32(text, &stop, base);
  if (!StoreEnd(frame, 1, frame.args[0], static_cast<std::int32_t>(stop - text))) return;
  ReturnInt(frame, value);
}

void Stdlib_strtod(CallFrame& frame) {
  const char* text = GetString(frame, 0);
  if (text == nullptr) return;
  char* stop = nullptr;
  double value = std::strtod(text, &stop);
  if (!StoreEnd(frame, 1, frame.args[0], static_cast<std::int32_t>(stop - text))) return;
  ReturnFloat(frame, value);
}

void Stdlib_rand(CallFrame& frame) { ReturnInt(frame, std::rand() & 0x7FFF); }

void Stdlib_srand(CallFrame& frame) {
  std::int32_t seed = static_cast<std::int32_t>(std::time(nullptr));
  if (frame.argCount > 0 && !GetInteger(frame, 0, seed)) return;
  std::srand(static_cast<unsigned>(seed));
}

// ===================================================================
// Sorting and searching
// ===================================================================

// Calls the script's (or a built-in) compare function; a result that is no
// number is reported once, and every later comparison of the sort is 0.
class Comparison {
 public:
  // The function stays whole for the sort even if a comparison redefines it.
  Comparison(CallFrame& frame, FunctionRecord* function) : frame_(frame), function_(function) {
    HoldFunction(function_);
  }
  ~Comparison() { ReleaseFunction(function_); }
  Comparison(const Comparison&) = delete;
  Comparison& operator=(const Comparison&) = delete;

  int operator()(Var* left, Var* right) {
    if (failed_ || frame_.run->runState != RUN_RUNNING) return 0;
    Var* args[2] = {left, right};
    // OPTIMIZATION: a compare function on integers alone (return a - b;)
    // runs on plain integers, without a frame.
    std::int32_t difference;
    if (kFastPaths && PureIntegerCallOf(*frame_.run, function_, args, 2, difference)) return difference;
    Operand result;
    if (!CallFunction(*frame_.run, &frame_, function_, args, 2, result)) {
      failed_ = true;
      return 0;
    }
    if (!result.IsNumber()) {
      failed_ = true;
      RaiseErrorIfRunning(*frame_.run, MSG_5111);
      return 0;
    }
    return ScalarToInt(result.Value());
  }

  bool Failed() const { return failed_ || frame_.run->runState != RUN_RUNNING; }

 private:
  CallFrame& frame_;
  FunctionRecord* function_;
  bool failed_ = false;
};

// A merge sort of the item numbers in [order]: whatever the compare function
// answers, it never reads outside the list.
void MergeSort(std::vector<std::uint32_t>& order, std::vector<std::uint32_t>& scratch, std::size_t first,
               std::size_t last, SortList& list, Comparison& compare) {
  // A sort whose comparison failed, or whose run was asked to stop, ends at
  // once: the array is left as it was.
  if (last - first < 2 || compare.Failed()) return;
  std::size_t middle = first + (last - first) / 2;
  MergeSort(order, scratch, first, middle, list, compare);
  MergeSort(order, scratch, middle, last, list, compare);
  std::size_t left = first, right = middle, out = first;
  while (left < middle && right < last) {
    Var* a = list.Hold(order[right]);
    Var* b = list.Hold(order[left]);
    const bool rightFirst = compare(a, b) < 0;
    list.Release(order[left], b);
    list.Release(order[right], a);
    if (compare.Failed()) return;
    scratch[out++] = rightFirst ? order[right++] : order[left++];
  }
  while (left < middle) scratch[out++] = order[left++];
  while (right < last) scratch[out++] = order[right++];
  for (std::size_t i = first; i < last; ++i) order[i] = scratch[i];
}

struct SortRequest {
  Var* array;
  std::int32_t count;
  FunctionRecord* compare;
};

// qsort(array [, count], name) and bsearch(key, array [, count], name).
bool ReadSortRequest(CallFrame& frame, int arrayAt, SortRequest& request) {
  request.array = GetParameter(frame, arrayAt, PARAM_ARRAY);
  if (request.array == nullptr) return false;
  const char* name = GetString(frame, frame.argCount - 1);
  if (name == nullptr) return false;
  std::int32_t lowest, highest;
  GetSpan(request.array, lowest, highest);
  std::int32_t length = highest >= 0 ? highest + 1 : 0;
  request.count = length;
  if (frame.argCount - arrayAt == 3 && !GetInteger(frame, arrayAt + 1, request.count)) return false;
  if (request.count > length) {
    return RaiseErrorIfRunning(*frame.run, MSG_5112);
  }
  if (request.count <= 0) {
    request.count = 0;
    request.compare = nullptr;
    return true;
  }
  request.compare = FindFunction(*frame.run, name, true);
  return request.compare != nullptr;
}

void Stdlib_qsort(CallFrame& frame) {
  SortRequest request;
  if (!ReadSortRequest(frame, 0, request) || request.count == 0) return;
  SortList list;
  if (!list.Load(*frame.run, request.array, request.count)) return;
  Comparison compare(frame, request.compare);
  std::vector<std::uint32_t> order(list.size()), scratch(list.size());
  for (std::uint32_t i = 0; i < list.size(); ++i) order[i] = i;
  MergeSort(order, scratch, 0, order.size(), list, compare);
  if (compare.Failed()) return;  // the array stays as it was
  list.Store(*frame.run, request.array, order);
}

void Stdlib_bsearch(CallFrame& frame) {
  Var* key = GetParameter(frame, 0, PARAM_ANY);
  SortRequest request;
  if (key == nullptr || !ReadSortRequest(frame, 1, request)) return;
  SortList list;
  if (!list.Load(*frame.run, request.array, request.count)) return;
  Comparison compare(frame, request.compare);
  std::int32_t low = 0, high = request.count - 1;
  while (low <= high) {
    std::int32_t middle = low + (high - low) / 2;
    Var* item = list.Hold(static_cast<std::uint32_t>(middle));
    int order = compare(key, item);
    list.Release(static_cast<std::uint32_t>(middle), item);
    if (compare.Failed()) return;
    if (order == 0) {
      ReturnOffset(frame, request.array, middle);
      return;
    }
    if (order < 0) high = middle - 1;
    else low = middle + 1;
  }
  ReturnInt(frame, 0);
}

// ===================================================================
// The end of a run
// ===================================================================

struct ExitFunction {
  FunctionRecord* function;
};

void RunExitFunction(Context& run, void* data) {
  std::unique_ptr<ExitFunction> exitFunction(static_cast<ExitFunction*>(data));
  Operand ignored;
  CallFunction(run, nullptr, exitFunction->function, nullptr, 0, ignored);
  ReleaseFunction(exitFunction->function);
}

// atexit(name): the function runs when the run ends, the newest first.
void Stdlib_atexit(CallFrame& frame) {
  const char* name = GetString(frame, 0);
  if (name == nullptr) return;
  FunctionRecord* function = FindFunction(*frame.run, name, true);
  if (function == nullptr) return;
  Context* owner = frame.run;
  while (owner->parent != nullptr && (owner->owns & OWNS_END_HOOKS) == 0) owner = owner->parent;
  HoldFunction(function);
  owner->endHooks.push_front(ContextHook{RunExitFunction, new ExitFunction{function}});
  ReturnInt(frame, 0);
}

// ===================================================================
// The environment and the command processor
// ===================================================================

// getenv([name]): the value of the process environment variable, or 0 when
// it is not set; without a name, the names of every variable.
void Stdlib_getenv(CallFrame& frame) {
  EnvWriteBack(*frame.run);
  if (frame.argCount == 0) {
    std::vector<std::string> names;
    for (const std::string& entry : platform::EnvironmentEntries()) {
      if (!entry.empty() && entry[0] != '=') names.push_back(entry.substr(0, entry.find('=')));
    }
    SetReturn(frame, NewStringArray(*frame.run, names), ReturnKind::HANDED_OVER);
    return;
  }
  const char* name = GetString(frame, 0);
  if (name == nullptr) return;
  if (auto value = platform::GetEnvironmentValue(name)) {
    ReturnString(frame, *value);
  } else {
    ReturnInt(frame, 0);
  }
}

// putenv(name, value): sets the environment variable NAME (upper case) to the
// string, or removes it for 0 or an empty string; 0, or -1 for a name that
// cannot be one.
void Stdlib_putenv(CallFrame& frame) {
  const char* given = GetString(frame, 0);
  if (given == nullptr) return;
  const char* value = nullptr;
  if (!IsZeroNumber(frame.args[1])) {
    value = GetString(frame, 1);
    if (value == nullptr) return;
    if (*value == '\0') value = nullptr;
  }
  std::string name = given;
  if (name.empty() || name.find('=') != std::string::npos) {
    ReturnInt(frame, -1);
    return;
  }
  for (char& c : name) c = AsciiUpper(c);
  Var* variable = EnvLookup(*frame.run, name);
  if (variable == nullptr) return;
  UndefineVar(variable);
  if (value != nullptr) {
    Var* text = NewByteArrayVar(value, static_cast<std::uint32_t>(std::strlen(value)), true);
    const bool stored = AssignStringLiteral(*frame.run, variable, text);
    ReleaseVar(text);
    if (!stored) return;
  }
  EnvWriteBack(*frame.run);
  ReturnInt(frame, 0);
}

// system(command) or system(format, values...): the command processor's exit
// status; system(0) is 1, there being one.
void Stdlib_system(CallFrame& frame) {
  if (frame.argCount == 1 && IsZeroNumber(frame.args[0])) {
    ReturnInt(frame, 1);
    return;
  }
  const char* format = GetString(frame, 0);
  if (format == nullptr) return;
  std::string command;
  if (frame.argCount == 1) {
    command = format;
  } else {
    PositionalArguments args(frame, 1);
    if (!FormatText(frame, format, args, command)) return;
  }
  // A command the processor would cut short is refused whole.
  const std::size_t limit = platform::MaxCommandLength();
  if (command.size() > limit) {
    RaiseErrorIfRunning(*frame.run, MSG_5121, static_cast<int>(command.size()), static_cast<int>(limit));
    return;
  }
  PrepareChildProcess(*frame.run);
  ReturnInt(frame, platform::RunCommand(command));
}

void Stdlib_exit(CallFrame& frame) {
  std::int32_t code;
  if (GetInteger(frame, 0, code)) ExitRequest(*frame.run, code);
}

// abort(): the run ends as an error with only the location line. abort(true)
// is a user break while closing: "^C" and exit code 255.
void Stdlib_abort(CallFrame& frame) {
  if (frame.argCount > 0) {
    Var* value = GetParameter(frame, 0, PARAM_ANY);
    if (value == nullptr) return;
    int truth = TruthValue(*frame.run, value);
    if (truth < 0) return;
    if (truth) {
      BreakRequested = 1;
      CloseRequested = 1;
      return;
    }
  }
  RaiseWithoutMessage(*frame.run);
}

void StdlibConstants(MacroTable& macros) {
  macros.Define("NULL", 0L);
  macros.Define("FALSE", 0L);
  macros.Define("TRUE", 1L);
  macros.Define("EXIT_FAILURE", 255L);
  macros.Define("EXIT_SUCCESS", 0L);
  macros.Define("RAND_MAX", 32767L);
}

constexpr LibraryEntry kStdlibRows[] = {
    {"abort",   Stdlib_abort,   0, 1},
    {"abs",     Stdlib_abs,     1, 1},
    {"atexit",  Stdlib_atexit,  1, 1},
    {"atoi",    Stdlib_atoi,    1, 1},
    {"atol",    Stdlib_atoi,    1, 1},
    {"bsearch", Stdlib_bsearch, 3, 4},
    {"div",     Stdlib_div,     2, 2},
    {"exit",    Stdlib_exit,    1, 1},
    {"getenv",  Stdlib_getenv,  0, 1},
    {"putenv",  Stdlib_putenv,  2, 2},
    {"labs",    Stdlib_abs,     1, 1},
    {"ldiv",    Stdlib_div,     2, 2},
    // Literals stay literals, so that text against text compares by content.
    {"max",     Stdlib_minmax,  1, ARGS_ANY, kMaximum, READS_ALL},
    {"min",     Stdlib_minmax,  1, ARGS_ANY, 0, READS_ALL},
    {"qsort",   Stdlib_qsort,   2, 3},
    {"rand",    Stdlib_rand,    0, 0},
    {"srand",   Stdlib_srand,   0, 1},
    {"strtol",  Stdlib_strtol,  1, 3},
    {"system",  Stdlib_system,  1, ARGS_ANY},
    {"atof",    Stdlib_atof,    1, 1},
    {"strtod",  Stdlib_strtod,  1, 2},
};

}  // namespace

const LibraryGroup kStdlibGroup{GROUP_STDLIB, kStdlibRows, nullptr, nullptr, StdlibConstants};

}  // namespace kel
