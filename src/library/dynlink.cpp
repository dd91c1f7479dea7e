// The dynamic-link group: DynamicLink calls any function a dynamic-link
// library exports, with the script's values laid out as its calling
// convention wants them, and writes back what the function may change.
// Libraries stay loaded for the run and are freed when it ends.

#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "engine/calls.h"
#include "engine/context.h"
#include "engine/macros.h"
#include "engine/messages.h"
#include "engine/value.h"
#include "library/arguments.h"
#include "library/data.h"
#include "library/groups.h"
#include "platform/dynamic_library.h"
#include "platform/system.h"

namespace kel {

namespace {

enum Convention : std::int32_t { CDECL = 55, STDCALL = 66, PASCAL = 77 };

// ===================================================================
// The module cache
// ===================================================================

// The libraries a run loaded, keyed by base name: a full path ending in
// USER32.DLL, user32.dll and USER32 share one entry.
class ModuleCache {
 public:
  ModuleCache() = default;
  ModuleCache(const ModuleCache&) = delete;
  ModuleCache& operator=(const ModuleCache&) = delete;
  ~ModuleCache() {
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) platform::CloseLibrary(it->library);
  }

  // The library [module], loaded now unless the run has it; null with
  // [error] set when it cannot be loaded.
  void* Find(const char* module, int& error) {
    const std::string key = KeyOf(module);
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
      const bool same = platform::LibraryNamesIgnoreCase() ? EqualsIgnoreCase(it->key, key) : it->key == key;
      if (same) return it->library;
    }
    void* library = platform::OpenLibrary(module, error);
    if (library != nullptr) entries_.push_back({key, library});
    return library;
  }

 private:
  // The name after the last directory separator or colon, without what
  // follows its last dot.
  static std::string KeyOf(std::string_view module) {
    const std::size_t start = module.find_last_of(platform::LibraryNamesIgnoreCase() ? ":\\/" : "/");
    std::string_view name = start == std::string_view::npos ? module : module.substr(start + 1);
    const std::size_t dot = name.rfind('.');
    return std::string(dot == std::string_view::npos ? name : name.substr(0, dot));
  }

  struct Entry {
    std::string key;
    void* library;
  };
  std::vector<Entry> entries_;  // oldest first
};

void* StartDynamicLink(Context&, void*) { return new ModuleCache; }

void EndDynamicLink(Context&, void* state) { delete static_cast<ModuleCache*>(state); }

void DynamicLinkConstants(MacroTable& macros) {
  macros.Define("CDECL", static_cast<long>(CDECL));
  macros.Define("STDCALL", static_cast<long>(STDCALL));
  macros.Define("PASCAL", static_cast<long>(PASCAL));
}

// ===================================================================
// Arguments
// ===================================================================

// The script's arguments laid out for the call, with the storage the
// function writes into and what goes back to the script afterwards.
class CallArguments {
 public:
  explicit CallArguments(CallFrame& frame) : frame_(frame) {}
  // Lays out the arguments from [first] on; false after raising an error.
  bool Marshal(int first);
  // Writes back undefined arguments and structures; false after an error.
  bool WriteBack();
  const std::vector<platform::NativeArgument>& Native() const { return native_; }

 private:
  bool Add(int i, int& next);
  void Push(platform::NativeArgument::Kind kind, std::int64_t integer, void* address, double real) {
    platform::NativeArgument argument{};
    argument.kind = kind;
    if (kind == platform::NativeArgument::INTEGER) argument.integer = integer;
    if (kind == platform::NativeArgument::ADDRESS) argument.address = address;
    if (kind == platform::NativeArgument::REAL) argument.real = real;
    native_.push_back(argument);
  }

  // Storage the function may write: an undefined argument's cell (8 zero
  // bytes, of which the first 4 come back, so that a function writing a
  // 64-bit value stays inside it) or a structure's buffer.
  struct Storage {
    Var* target;
    Var* description;  // null for a cell
    std::vector<std::uint8_t> bytes;
  };
  CallFrame& frame_;
  std::vector<platform::NativeArgument> native_;
  std::vector<std::unique_ptr<Storage>> storage_;
};

bool CallArguments::Marshal(int first) {
  for (int i = first; i < frame_.argCount;) {
    if (!Add(i, i)) return false;
  }
  return true;
}

// Lays out argument [i]; [next] receives the index of the argument after it
// (a structure's description is consumed with it).
bool CallArguments::Add(int i, int& next) {
  Var* value = Argument(frame_, i);
  next = i + 1;
  const int depth = Arrayness(value);
  const int kind = KindOf(value);
  if (depth == 0 && (kind == KEL_BYTE || kind == KEL_INT)) {
    Push(platform::NativeArgument::INTEGER, ScalarToInt(GetScalar(value)), nullptr, 0);
  } else if (depth == 0 && kind == KEL_FLOAT) {
    Push(platform::NativeArgument::REAL, 0, nullptr, GetScalar(value).floatValue);
  } else if (depth == 0 && kind == KEL_UNKNOWN) {
    auto& cell = storage_.emplace_back(new Storage{value, nullptr, std::vector<std::uint8_t>(8)});
    Push(platform::NativeArgument::ADDRESS, 0, cell->bytes.data(), 0);
  } else if (depth == 0 && kind == KEL_STRUCT) {
    Var* description = Argument(frame_, i + 1);
    std::uint32_t size = 0;
    if (description == nullptr || !DescriptionSize(frame_, description, size)) return false;
    auto& buffer = storage_.emplace_back(new Storage{value, description, std::vector<std::uint8_t>(size + 1)});
    if (!WriteValue(frame_, value, description, buffer->bytes.data(), size)) return false;
    Push(platform::NativeArgument::ADDRESS, 0, buffer->bytes.data(), 0);
    next = i + 2;
  } else if (depth == 1 && kind == KEL_BYTE) {
    Push(platform::NativeArgument::ADDRESS, 0, BufferOf(value).bytes, 0);  // in place
  } else {
    return RaiseError(*frame_.run, MSG_6101, i + 1);
  }
  return true;
}

bool CallArguments::WriteBack() {
  // The function may have written any byte array it was given.
  NoteStorageWrite();
  for (const auto& storage : storage_) {
    if (storage->description == nullptr) {
      std::int32_t value;
      std::memcpy(&value, storage->bytes.data(), sizeof value);
      if (!StoreNumber(frame_, storage->target, value, KEL_INT)) return false;
    } else if (!ReadValue(frame_, storage->bytes.data(), static_cast<std::uint32_t>(storage->bytes.size() - 1),
                          storage->description, storage->target, false)) {
      return false;
    }
  }
  return true;
}

// ===================================================================
// The call
// ===================================================================

// The export the procedure argument names (a string) or numbers (an
// ordinal); null after raising 6103. [shown] receives how messages name it.
void* FindProcedure(CallFrame& frame, void* library, std::string& shown) {
  Var* procedure = Argument(frame, 1);
  int error = 0;
  void* address = nullptr;
  if (Arrayness(procedure) == 1 && KindOf(procedure) == KEL_BYTE) {
    shown = GetString(frame, 1);
    address = platform::FindExport(library, shown.c_str(), error);
    int ansiError = 0;
    if (address == nullptr && platform::FindExport(library, (shown + "A").c_str(), ansiError) != nullptr) {
      RaiseError(*frame.run, MSG_6103_ANSI, error, shown.c_str(), shown.c_str());
      return nullptr;
    }
  } else {
    std::int32_t ordinal;
    if (!GetInteger(frame, 1, ordinal)) return nullptr;
    shown = "#" + std::to_string(ordinal);
    address = platform::FindExportByOrdinal(library, static_cast<std::uint32_t>(ordinal), error);
  }
  if (address == nullptr) RaiseError(*frame.run, MSG_6103, error);
  return address;
}

// DynamicLink(module, procedure, convention, arguments...): the function's
// 32-bit result.
void DynamicLink_DynamicLink(CallFrame& frame) {
  std::int32_t convention;
  if (!GetInteger(frame, 2, convention)) return;
  if (convention != CDECL && convention != STDCALL && convention != PASCAL) {
    RaiseError(*frame.run, MSG_6102);
    return;
  }
  const char* module = GetString(frame, 0);
  if (module == nullptr) return;
  int error = 0;
  void* library = static_cast<ModuleCache*>(frame.libraryData)->Find(module, error);
  if (library == nullptr) {
    RaiseError(*frame.run, MSG_6100, error, module);
    return;
  }
  std::string shown;
  void* function = FindProcedure(frame, library, shown);
  if (function == nullptr) return;
  CallArguments arguments(frame);
  if (!arguments.Marshal(3)) return;
  const std::size_t limit = platform::MaxNativeArguments();
  if (limit != 0 && arguments.Native().size() > limit) {
    RaiseError(*frame.run, MSG_6105, static_cast<int>(limit));
    return;
  }
  const platform::NativeOrder order = convention == CDECL     ? platform::NativeOrder::CALLER_CLEANS
                                      : convention == STDCALL ? platform::NativeOrder::CALLEE_CLEANS
                                                              : platform::NativeOrder::REVERSED;
  std::int32_t stackError = 0;
  const std::uint32_t result = platform::CallNative(function, order, arguments.Native(), stackError);
  if (!arguments.WriteBack()) return;
  if (stackError != 0) {
    RaiseError(*frame.run, MSG_6104, shown.c_str(), static_cast<int>(stackError));
    return;
  }
  ReturnInt(frame, static_cast<std::int32_t>(result));
}

// WindowList([parent]): the handles of the top-level windows, or of the
// parent's child windows, as an integer array; 0 when there are none.
void DynamicLink_WindowList(CallFrame& frame) {
  std::int32_t parent = 0;
  if (frame.argCount > 0 && !IsZeroNumber(Argument(frame, 0)) && !GetInteger(frame, 0, parent)) return;
  const std::vector<std::uintptr_t> windows =
      platform::ListWindows(static_cast<std::uintptr_t>(static_cast<std::intptr_t>(parent)));
  if (windows.empty()) {
    ReturnInt(frame, 0);
    return;
  }
  // Window handles carry 32 significant bits on 64-bit Windows too.
  std::vector<std::int32_t> handles;
  for (std::uintptr_t window : windows) handles.push_back(static_cast<std::int32_t>(window));
  Var* list = NewIntegerArray(handles);
  SetReturn(frame, list, ReturnKind::HANDED_OVER);
}

constexpr LibraryEntry kDynamicLinkRows[] = {
    {"DynamicLink", DynamicLink_DynamicLink, 3, ARGS_ANY},
    {"WindowList",  DynamicLink_WindowList,  0, 1},
};

}  // namespace

const LibraryGroup kDynamicLinkGroup{GROUP_DYNAMIC_LINK, kDynamicLinkRows, StartDynamicLink, EndDynamicLink,
                                     DynamicLinkConstants};

}  // namespace kel
