#pragma once
// The printf and scanf engines: each directive of a script's format is
// checked and rewritten for the C library (integers become longs, unbounded
// text fields get a width), its argument converted from or to a script value,
// and the C formatter or scanner does the rest, one directive at a time.

#include <cstdio>
#include <string>

namespace kel {

struct CallFrame;
struct Var;

// Where the values for the directives come from: the call's own arguments
// after the format, or a va_list.
class ArgumentSource {
 public:
  virtual ~ArgumentSource() = default;
  // The next argument checked against [mode] (a ParamMode); null after
  // reporting an error.
  virtual Var* Next(int mode) = 0;
};

// The arguments of [frame] from position [first] on.
class PositionalArguments final : public ArgumentSource {
 public:
  PositionalArguments(CallFrame& frame, int first) : frame_(frame), next_(first) {}
  Var* Next(int mode) override;

 private:
  CallFrame& frame_;
  int next_;
};

// The arguments a va_list walks: a call that is still running, from the
// list's index on. Open() checks the list and raises 5108 when it is not one.
class VaListArguments final : public ArgumentSource {
 public:
  explicit VaListArguments(CallFrame& frame) : frame_(frame) {}
  bool Open(Var* list);
  Var* Next(int mode) override;

 private:
  CallFrame& frame_;
  CallFrame* call_ = nullptr;
  int next_ = 0;
};

// Reads the call serial and index a va_list [list] holds; false when [list]
// is no va_list or names no call that is still running.
CallFrame* ResolveVaList(CallFrame& frame, Var* list, int& index);

// Formats [format] with values from [args] into [out]. False after raising
// an error (5103, or an argument error), when nothing must be printed.
bool FormatText(CallFrame& frame, const char* format, ArgumentSource& args, std::string& out);

// Where scanning reads from: a text, or a C stream.
struct ScanInput {
  const char* text = nullptr;   // scanning a text from [position]
  std::size_t position = 0;
  std::FILE* stream = nullptr;  // otherwise this stream
};

// Scans [input] by [format] into the variables [args] gives. Returns the
// number of fields assigned, or -1 when the input ended before the first
// conversion; false in [ok] after raising an error (5104, 5105, 5106).
int ScanText(CallFrame& frame, const char* format, ArgumentSource& args, ScanInput& input, bool& ok);

// Stores [count] bytes of [bytes] into the byte array [target] from its
// origin, growing it as needed; with [terminate] a NUL follows them.
void StoreBytes(Var* target, const char* bytes, std::size_t count, bool terminate);

}  // namespace kel
