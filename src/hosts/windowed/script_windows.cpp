// Script windows: windows a script makes or takes over, whose messages become
// calls of script functions, and the message loop the script drives with
// DoWindows. The windows group of the library: MakeWindow, SubclassWindow,
// BreakWindow, DoWindows, MessageFilter, BaseWindowFunction, Instance.

#include "hosts/windowed/script_windows.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/process.h"
#include "engine/calls.h"
#include "engine/context.h"
#include "engine/functions.h"
#include "engine/messages.h"
#include "engine/operand.h"
#include "engine/value.h"
#include "hosts/windowed/window_host.h"
#include "library/arguments.h"
#include "library/tables.h"

namespace kel {

namespace {

constexpr WPARAM kWakeUp = 0xCAFE;

struct RunWindows;

// A window under script control.
struct WindowRecord {
  RunWindows* state = nullptr;
  HWND window = nullptr;
  std::string temporaryClass;  // the class registered for this window alone
  bool created = false;         // made by MakeWindow (else taken over)
  bool ownClass = false;        // of a class whose procedure is ours
  WNDPROC previous = nullptr;   // a taken-over window's own procedure
  FunctionRecord* function = nullptr;
  int callbackDepth = 0;
  bool released = false;  // released while its function ran: freed after
  Var* extra = nullptr;
  bool hasFilter = false;
  std::vector<std::int32_t> filter;
};

// A run's script windows, newest first.
struct RunWindows {
  Context* run;
  std::vector<WindowRecord*> records;
  bool activity = false;  // a window function is about to run, or the last window went
  bool waiting = false;   // DoWindows blocks in GetMessageA
};

KelMainWindow* consoleWindow = nullptr;
// Taken-over windows of every run, found by handle.
std::vector<WindowRecord*> subclassed;
// Window functions running: while above 0 the engine handles no messages
// between statements, so no window function is entered through its pump.
int windowCallbackDepth = 0;
std::string defaultClass;

// What MakeWindow hands to the new window's WM_CREATE.
struct Creation {
  LPVOID value;
  WindowRecord* prepared;
};

LRESULT CALLBACK MyClassWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK SubclassedWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

// The default processing of [record]'s window.
LRESULT DefaultProcessing(const WindowRecord& record, UINT message, WPARAM wParam, LPARAM lParam) {
  return record.ownClass ? DefWindowProcA(record.window, message, wParam, lParam)
                         : CallWindowProcA(record.previous, record.window, message, wParam, lParam);
}

void MarkActivity(RunWindows& state) {
  if (!state.activity && state.waiting && consoleWindow != nullptr) {
    PostMessageA(consoleWindow->Handle(), WM_NULL, kWakeUp, kWakeUp);
  }
  state.activity = true;
}

void FreeRecord(WindowRecord* record) {
  RunWindows& state = *record->state;
  if (record->extra != nullptr) ReleaseVar(record->extra);
  if (record->function != nullptr) ReleaseFunction(record->function);
  delete record;
  if (state.records.empty()) MarkActivity(state);
}

void ReleaseRecord(WindowRecord* record) {
  RunWindows& state = *record->state;
  state.records.erase(std::remove(state.records.begin(), state.records.end(), record), state.records.end());
  if (record->ownClass) {
    if (!record->temporaryClass.empty()) UnregisterClassA(record->temporaryClass.c_str(), Instance());
  } else {
    subclassed.erase(std::remove(subclassed.begin(), subclassed.end(), record), subclassed.end());
    if (IsWindow(record->window)) {
      SetWindowLongPtrA(record->window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(record->previous));
    }
  }
  if (record->callbackDepth > 0) {
    record->released = true;  // its function is running: freed when it returns
    return;
  }
  FreeRecord(record);
}

// Calls [record]'s window function; true with [result] when it returned a
// value.
bool CallWindowFunction(WindowRecord& record, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  Context& run = *record.state->run;
  if (record.function == nullptr || run.runState != RUN_RUNNING) return false;
  Var* args[5] = {NewIntVar(static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(record.window))),
                  NewIntVar(static_cast<std::int32_t>(message)), NewIntVar(static_cast<std::int32_t>(wParam)),
                  NewIntVar(static_cast<std::int32_t>(lParam)), record.extra};
  const int count = record.extra != nullptr ? 5 : 4;
  ++record.callbackDepth;
  ++windowCallbackDepth;
  Operand answer;
  CallFunction(run, run.frame, record.function, args, count, answer);
  --windowCallbackDepth;
  --record.callbackDepth;
  for (int i = 0; i < 4; ++i) ReleaseVar(args[i]);
  const bool returned = answer.IsDefined() && run.runState == RUN_RUNNING;
  if (returned) {
    const Scalar value = answer.var() == nullptr || IsNumericScalar(answer.var()) ? answer.Value() : MakeInt(0);
    result = static_cast<LRESULT>(ScalarToInt(value));
  }
  return returned;
}

// A message for a script window: through its filter to its function, else
// (or when the function returns nothing) to the default processing.
LRESULT Deliver(WindowRecord* record, UINT message, WPARAM wParam, LPARAM lParam) {
  const bool passes = !record->hasFilter || std::find(record->filter.begin(), record->filter.end(),
                                                      static_cast<std::int32_t>(message)) != record->filter.end();
  LRESULT result = 0;
  bool handled = false;
  if (passes) {
    MarkActivity(*record->state);
    handled = CallWindowFunction(*record, message, wParam, lParam, result);
  }
  // A window its function destroyed gets no default processing: it is gone.
  if (!handled && (!record->released || IsWindow(record->window))) {
    result = DefaultProcessing(*record, message, wParam, lParam);
  }
  if (record->released) {
    if (record->callbackDepth == 0) FreeRecord(record);  // let go while its function ran
    return result;
  }
  if (message == WM_NCDESTROY) ReleaseRecord(record);
  return result;
}

LRESULT CALLBACK MyClassWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* record = reinterpret_cast<WindowRecord*>(GetWindowLongPtrA(window, 0));
  if (record == nullptr && message == WM_CREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    auto* creation = static_cast<Creation*>(create->lpCreateParams);
    create->lpCreateParams = creation->value;  // the window function sees the script's value
    record = creation->prepared;
    creation->prepared = nullptr;
    record->window = window;
    record->state->records.insert(record->state->records.begin(), record);
    SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(record));
  }
  if (record == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  return Deliver(record, message, wParam, lParam);
}

LRESULT CALLBACK SubclassedWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  for (WindowRecord* record : subclassed) {
    if (record->window == window) return Deliver(record, message, wParam, lParam);
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// Puts [record] (of a window of another class) under script control.
void Subclass(WindowRecord* record) {
  record->previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(record->window, GWLP_WNDPROC));
  SetWindowLongPtrA(record->window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassedWindowProcedure));
  record->state->records.insert(record->state->records.begin(), record);
  subclassed.push_back(record);
}

// ===================================================================
// Arguments
// ===================================================================

RunWindows& StateOf(CallFrame& frame) { return *static_cast<RunWindows*>(frame.libraryData); }

HWND HandleArgument(CallFrame& frame, int i, bool& ok) {
  std::int32_t value = 0;
  ok = GetInteger(frame, i, value);
  return reinterpret_cast<HWND>(static_cast<std::intptr_t>(value));
}

WindowRecord* RecordOf(RunWindows& state, HWND window) {
  for (WindowRecord* record : state.records) {
    if (record->window == window) return record;
  }
  return nullptr;
}

// The window function named by argument [i]: null for none (0 or an empty
// array), or the function, which must exist; false after 1403.
bool WindowFunctionArgument(CallFrame& frame, int i, FunctionRecord*& function) {
  function = nullptr;
  Var* var = Argument(frame, i);
  if (var == nullptr) return false;
  if (IsZeroNumber(var) || (Arrayness(var) == 1 && BufferOf(var).length == 0)) return true;
  const char* name = GetString(frame, i);
  if (name == nullptr) return false;
  function = FindFunction(*frame.run, name, true);
  if (function == nullptr) return false;
  HoldFunction(function);
  return true;
}

// A copy of argument [i], kept for every call of the window function.
Var* ExtraArgument(CallFrame& frame, int i) {
  Operand value;
  value.SetBorrowed(Argument(frame, i));
  return CopyToFreshVar(*frame.run, value);
}

// The class of a temporary window class from the structure [description].
bool RegisterTemporaryClass(Var* description, std::string& name) {
  static unsigned long counter = 0;
  char text[32];
  std::snprintf(text, sizeof text, "KelTmp%08lX", ++counter);
  name = text;
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = MyClassWindowProcedure;
  windowClass.cbWndExtra = sizeof(LONG_PTR);
  windowClass.hInstance = Instance();
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszClassName = name.c_str();
  auto member = [&](const char* memberName, auto apply) {
    Var* value = FindMember(description, memberName, false);
    if (value != nullptr && IsNumericScalar(value)) apply(GetInt(value));
  };
  member("style", [&](std::int32_t v) { windowClass.style = static_cast<UINT>(v) & 0xFFFF; });
  member("icon", [&](std::int32_t v) { windowClass.hIcon = reinterpret_cast<HICON>(static_cast<std::intptr_t>(v)); });
  member("cursor", [&](std::int32_t v) { windowClass.hCursor = reinterpret_cast<HCURSOR>(static_cast<std::intptr_t>(v)); });
  member("background", [&](std::int32_t v) {
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<std::intptr_t>(v));
  });
  return RegisterClassA(&windowClass) != 0;
}

bool RegisterDefaultClass() {
  if (!defaultClass.empty()) return true;
  char text[32];
  std::snprintf(text, sizeof text, "Kel%08lX",
                static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(Instance()) & 0xFFFFFFFFu));
  WNDCLASSA windowClass{};
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = MyClassWindowProcedure;
  windowClass.cbWndExtra = sizeof(LONG_PTR);
  windowClass.hInstance = Instance();
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  windowClass.lpszClassName = text;
  if (RegisterClassA(&windowClass) == 0) return false;
  defaultClass = text;
  return true;
}

// ===================================================================
// Handlers
// ===================================================================

// MakeWindow(parent, class, function, title, style, x, y, width, height,
// creation [, extra]): the new window's handle, or 0.
void Windows_MakeWindow(CallFrame& frame) {
  RunWindows& state = StateOf(frame);
  bool ok;
  const HWND parent = HandleArgument(frame, 0, ok);
  if (!ok) return;
  Var* classArgument = Argument(frame, 1);
  if (classArgument == nullptr) return;
  std::int32_t numbers[5];
  for (int i = 0; i < 5; ++i) {
    if (!GetInteger(frame, 4 + i, numbers[i])) return;
  }
  const char* title = nullptr;
  if (!IsZeroNumber(Argument(frame, 3)) && (title = GetString(frame, 3)) == nullptr) return;
  Var* creationArgument = Argument(frame, 9);
  if (creationArgument == nullptr) return;
  LPVOID creationValue = Arrayness(creationArgument) >= 1 && KindOf(creationArgument) == KEL_BYTE
                             ? static_cast<LPVOID>(BufferOf(creationArgument).bytes)
                             : reinterpret_cast<LPVOID>(static_cast<std::intptr_t>(GetInt(creationArgument)));
  auto record = std::make_unique<WindowRecord>();
  record->state = &state;
  record->created = true;
  if (!WindowFunctionArgument(frame, 2, record->function)) return;
  std::string className;
  if (!IsDefined(classArgument) || IsZeroNumber(classArgument)) {
    record->ownClass = RegisterDefaultClass();
    className = defaultClass;
  } else if (IsStructure(classArgument)) {
    record->ownClass = RegisterTemporaryClass(classArgument, record->temporaryClass);
    className = record->temporaryClass;
  } else {
    const char* name = GetString(frame, 1);
    if (name == nullptr) return;
    className = name;
  }
  if (frame.argCount > 10) record->extra = ExtraArgument(frame, 10);
  Creation creation{creationValue, record.get()};
  const bool own = record->ownClass;
  WindowRecord* prepared = record.release();
  HWND window = CreateWindowExA(0, className.c_str(), title, static_cast<DWORD>(numbers[0]), numbers[1], numbers[2],
                                numbers[3], numbers[4], parent, nullptr, Instance(), &creation);
  if (own && creation.prepared != nullptr) {
    // WM_CREATE never came: the window was not made.
    prepared->state = &state;
    FreeRecord(prepared);
    window = nullptr;
  } else if (!own) {
    if (window == nullptr) {
      FreeRecord(prepared);
    } else {
      prepared->window = window;
      Subclass(prepared);
    }
  }
  ReturnInt(frame, static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(window)));
}

// SubclassWindow(window, function [, extra]): 1 when the window is now under
// script control.
void Windows_SubclassWindow(CallFrame& frame) {
  RunWindows& state = StateOf(frame);
  bool ok;
  const HWND window = HandleArgument(frame, 0, ok);
  if (!ok) return;
  FunctionRecord* function;
  if (!WindowFunctionArgument(frame, 1, function)) return;
  if (!IsWindow(window) || RecordOf(state, window) != nullptr) {
    if (function != nullptr) ReleaseFunction(function);
    ReturnInt(frame, 0);
    return;
  }
  auto* record = new WindowRecord;
  record->state = &state;
  record->window = window;
  record->function = function;
  if (frame.argCount > 2) record->extra = ExtraArgument(frame, 2);
  Subclass(record);
  ReturnInt(frame, 1);
}

// Ends script control of one window: a made window is destroyed, a taken-over
// one gets its own procedure back unless another took it over since.
bool Break(RunWindows& state, HWND window) {
  WindowRecord* record = RecordOf(state, window);
  if (record == nullptr) return true;
  if (record->created) return DestroyWindow(window) != 0 || RecordOf(state, window) == nullptr;
  if (GetWindowLongPtrA(window, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(SubclassedWindowProcedure)) return false;
  ReleaseRecord(record);
  return true;
}

bool BreakAll(RunWindows& state) {
  while (!state.records.empty()) {
    if (!Break(state, state.records.front()->window)) return false;
  }
  return true;
}

// BreakWindow([window]): 1 when the window (or every one) is let go.
void Windows_BreakWindow(CallFrame& frame) {
  RunWindows& state = StateOf(frame);
  if (frame.argCount == 0) {
    ReturnInt(frame, BreakAll(state) ? 1 : 0);
    return;
  }
  bool ok;
  const HWND window = HandleArgument(frame, 0, ok);
  if (ok) ReturnInt(frame, Break(state, window) ? 1 : 0);
}

// DoWindows([peek]): handles messages until a window function ran; 1 while
// script windows remain.
void Windows_DoWindows(CallFrame& frame) {
  RunWindows& state = StateOf(frame);
  std::int32_t peekOnly = 0;
  if (frame.argCount > 0 && !GetInteger(frame, 0, peekOnly)) return;
  const HWND console = consoleWindow != nullptr ? consoleWindow->Handle() : nullptr;
  while (!state.records.empty() && !CloseRequested && frame.run->runState == RUN_RUNNING) {
    MSG message;
    if (state.activity || peekOnly != 0) {
      if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) && message.message != WM_QUIT) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
      }
      break;
    }
    state.waiting = true;
    const BOOL got = GetMessageA(&message, nullptr, 0, 0);
    state.waiting = false;
    if (got <= 0) break;  // WM_QUIT: not dispatched, and no spinning on it
    if (message.message == WM_NULL && message.hwnd == console && message.wParam == kWakeUp &&
        static_cast<WPARAM>(message.lParam) == kWakeUp) {
      break;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
    if (state.activity) break;
  }
  state.activity = false;
  ReturnInt(frame, state.records.empty() ? 0 : 1);
}

// MessageFilter(window [, numbers...] or (window, array)): the filter before
// the call, or 0; with only the window the filter goes.
void Windows_MessageFilter(CallFrame& frame) {
  bool ok;
  const HWND window = HandleArgument(frame, 0, ok);
  if (!ok) return;
  WindowRecord* record = RecordOf(StateOf(frame), window);
  if (record == nullptr) {
    ReturnInt(frame, 0);
    return;
  }
  if (record->hasFilter) {
    SetReturn(frame, NewIntegerArray(record->filter), ReturnKind::HANDED_OVER);
  } else {
    ReturnInt(frame, 0);
  }
  std::vector<std::int32_t> numbers;
  Var* second = frame.argCount > 1 ? Argument(frame, 1) : nullptr;
  if (second != nullptr && Arrayness(second) == 1 && IsNumericKind(KindOf(second))) {
    std::int32_t low = 0, high = -1;
    GetSpan(second, low, high);
    for (std::int32_t i = low; i <= high; ++i) {
      Var* element = ElementRef(second, i);
      if (element == nullptr) break;
      numbers.push_back(GetInt(element));
      ReleaseVar(element);
    }
  } else {
    for (int i = 1; i < frame.argCount; ++i) {
      std::int32_t number;
      if (!GetInteger(frame, i, number)) return;
      numbers.push_back(number);
    }
  }
  record->hasFilter = frame.argCount > 1;
  record->filter.clear();
  for (std::int32_t number : numbers) {
    if (std::find(record->filter.begin(), record->filter.end(), number) == record->filter.end()) {
      record->filter.push_back(number);
    }
  }
}

// BaseWindowFunction(window, message, wParam, lParam): the default
// processing's result, for a window function that wants it.
void Windows_BaseWindowFunction(CallFrame& frame) {
  bool ok;
  const HWND window = HandleArgument(frame, 0, ok);
  std::int32_t message, wParam, lParam;
  if (!ok || !GetInteger(frame, 1, message) || !GetInteger(frame, 2, wParam) || !GetInteger(frame, 3, lParam)) return;
  WindowRecord* record = RecordOf(StateOf(frame), window);
  if (record == nullptr) {
    ReturnInt(frame, 0);
    return;
  }
  ReturnInt(frame, static_cast<std::int32_t>(DefaultProcessing(*record, static_cast<UINT>(message), static_cast<WPARAM>(wParam),
                                                               static_cast<LPARAM>(lParam))));
}

void Windows_Instance(CallFrame& frame) {
  ReturnInt(frame, static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(Instance())));
}

void Windows_ScreenHandle(CallFrame& frame) {
  ReturnInt(frame, static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(consoleWindow->Handle())));
}

void* StartWindows(Context& run, void*) { return new RunWindows{&run, {}}; }

void EndWindows(Context&, void* raw) {
  auto* state = static_cast<RunWindows*>(raw);
  BreakAll(*state);
  // What could not be broken is let go of all the same.
  while (!state->records.empty()) ReleaseRecord(state->records.front());
  delete state;
}

constexpr LibraryEntry kWindowsRows[] = {
    {"Instance",           Windows_Instance,           0, 0},
    {"ScreenHandle",       Windows_ScreenHandle,       0, 0},
    {"BaseWindowFunction", Windows_BaseWindowFunction, 4, 4},
    {"BreakWindow",        Windows_BreakWindow,        0, 1},
    {"DoWindows",          Windows_DoWindows,          0, 1},
    {"MakeWindow",         Windows_MakeWindow,         10, 11},
    {"MessageFilter",      Windows_MessageFilter,      1, ARGS_ANY},
    {"SubclassWindow",     Windows_SubclassWindow,     2, 3},
};

}  // namespace

void RegisterScriptWindows(KelMainWindow& console) {
  consoleWindow = &console;
  SetHostRows(GROUP_WINDOWS, kWindowsRows);
  SetHostGroupState(StartWindows, EndWindows);
}

void UnregisterScriptWindows() {
  if (!defaultClass.empty()) UnregisterClassA(defaultClass.c_str(), Instance());
  defaultClass.clear();
  consoleWindow = nullptr;
}

bool WindowFunctionRunning() { return windowCallbackDepth > 0; }

}  // namespace kel
