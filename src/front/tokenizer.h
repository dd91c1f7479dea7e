#pragma once
// The tokenizer: one pass from program text to the linked token lists that the
// engine walks, one per function plus the global initialization code.

#include <string>

namespace kel {

struct Context;

// Loads one program into [context]: registers every function defined in the
// text and ":Global Initialization:". With [isFile], [sourceOrCode] names the
// file to search for and is replaced by the full path of the file found;
// otherwise it is the code itself. Returns false after reporting an error.
[[nodiscard]] bool Tokenize(Context& context, std::string& sourceOrCode, bool isFile);

}  // namespace kel
