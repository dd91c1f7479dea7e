// The message table and the raising of numbered errors.

#include "engine/messages.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "front/context.h"
#include "front/host.h"
#include "front/token.h"

namespace kel {

namespace {

// One line per entry, in identifier order; the numbered texts are what users
// see and what the documentation and the tests quote.
const char* const kMessageTable[MSG_COUNT] = {
    "Resource String Not Found.",
    "%s: Kel interpreter version %d.%02d.%s",
    "\nEnter Kel code, a script or a program at the prompt; EXIT ends the shell.\n",
    "\n\nSYNTAX: %s [/BIND=<Exe>] <Code> | <<KelFileSpec | BatchSpec> arg1 arg2 ...>\nWhere:\n",
    "   /BIND=Exe     - Turn your Kel code into an executable named <Exe>\n",
    "   Code          - Text code to be interpreted by %s\n",
    "   KelFileSpec   - Executable text file ending with the extension \"%s\"\n",
    "   BatchSpec     - File ending with extension \"%s\" will be executed between\n"
    "                   \"%s\" and \"%s\".\n",
    "   arg1 ...      - arguments passed to main(argc,argv) in the Exec or Batch\n\n",
    "Examples: %s hello.kel\n",
    "          %s printf(\"Hello World!\\n\")\n",
    "Community",
    "[Vetra  $P]: ",
    "block",
    "function call",
    "grouping",
    "array",
    "conditional",
    "Error near: File \"%s\", Line Number %u",
    "0001: Unable to open source file \"%s\" for reading.",
    "0002: Cannot evaluate code type %04X (\"%s\") here.",
    "0003: Insufficient Memory to continue operation.",
    "0100: Unable to open \"%s\" for reading.",
    "0101: Bound file \"%s\" already exists; cannot overwrite.",
    "0102: Unable to open \"%s\" for writing.",
    "0103: Error in source file \"%s\".",
    "0104: Error writing bound file \"%s\".",
    "1001: Unrecognized Preprocessor Directive \"%s\".",
    "1002: End comment (\"*/\") found, but no begin comment (\"/*\").",
    "1003: End-comment (\"*/\") never found.",
    "1004: Initial \"<\" not found for #INCLUDE directive.",
    "1005: Terminating \"%c\" not found for #INCLUDE directive.",
    "1006: Too many arguments to #include directive.",
    "1101: Unmatched %s \"%c\" in function \"%s\"; \"%c\" expected.",
    "1102: Mismatched \"}\" in function \"%s\".",
    "1103: No matching \"(\" for \")\" in function \"%s\".",
    "1104: No matching array \"[\" for \"]\" in function \"%s\".",
    "1105: No terminating <%c> for string %s.",
    "1106: Comma (,) expected between elements of array initialization.",
    "1201: CASE statement without value in function \"%s\".",
    "1202: No matching conditional \"?\" or CASE for \":\" in function \"%s\".",
    "1203: Conditional missing \":\".",
    "1204: \"while\" not found after \"do\" statement.",
    "1205: for statement must meet format \"for(initialization;test;inc/dec-crement) statement\".",
    "1206: Need expression after switch statement.",
    "1207: \"{\" must follow switch statement.",
    "1208: Could not evaluate CASE expression.",
    "1209: Need Goto Label.",
    "1301: Could not interpret text as variable.",
    "1401: Invalid parameter %d declaration for function: %s.",
    "1402: Function %s is unfinished.",
    "1403: Could not locate function \"%s\".",
    "1404: Expected parameter %d has not been passed to function \"%s\".",
    "1405: Label \"%s\" not found to go to.",
    "1501: Error evaluating call argument %d.",
    "1502: Could not evaluate array index",
    "1503: Could not evaluate conditional expression.",
    "1504: Could not evaluate expression. Check variables and function return values.",
    "1505: Expression in parentheses did not evaluate.",
    "1506: Code following unary operator (\"%s\") did not evaluate.",
    "1507: Conditional expression did not evaluate.",
    "1508: AND (&&) or OR (||) expression did not evaluate.",
    "1509: Element in array initialization did not evaluate.",
    "1510: Recursive structure assign (e.g. foo.x = foo)",
    "1601: Variable is not an array.",
    "1602: Structure member name not provided.",
    "1603: Variable is not a structure.",
    "1604: Operation not valid on an array.",
    "1605: Operation not valid on a structure.",
    "1606: Cannot evaluate Boolean value of a structure.",
    "1607: Variable \"%s\" is undefined.",
    "1608: Function returned no value (void), or variable is undefined.",
    "1609: Cannot set Array to lower dimension.",
    "1610: Cannot change variable type if it is an element of array.",
    "1611: An element of an array has a different dimension than its first element.",
    "1612: Operation not valid with floating-point number.",
    "1701: Cannot add arrays.",
    "1702: Cannot divide by zero.",
    "1703: Array differences only allowed for offsets into the same array.",
    "1704: Variable must be an Lvalue.",
    "1705: Binary Op needs first operand.",
    "5001: Invalid parameter count %d passed to function \"%s\".",
    "5002: Error with parameter%s %sin function \"%s\": %s.",
    "Must not be an array",
    "Must be numeric",
    "Must be LONG",
    "Must be an array of characters",
    "Must be an array",
    "Must be a structure",
    "Resource String Not Found.",
    "Must be a whole number",
    "5100: Array span Maximum index must be 0 or positive.",
    "5101: Array span Minimum index must be 0 or negative.",
    "5102: File variable is not valid",
    "5103: Unknown Format Type Specifier \"%c\" in ?printf string.",
    "5104: Zero width is invalid.",
    "5105: \"]\" character not found in scanf format string.",
    "5106: Unrecognized Type character \"%c\" in ?scanf format.",
    "5107: Assertion Failed:",
    "5108: Invalid VA_LIST.",
    "5109: variable not in va_xxx parameter list",
    "5110: Invalid fpos_t structure to fsetpos().",
    "5111: qsort compare function must return an integer.",
    "5112: qsort element count is bigger than array.",
    "5113: Unrecognized spawn() mode %d.",
    "5114: Cannot convert the %d spawn parameter to a string.",
    "5115: Parameter to pointer() must be numeric or 1-dimensional numeric array.",
    "5116: Data description variable is invalid for data conversion.",
    "5117: The BLOb is not big enough to contain data; offset too low or size too big.",
    "6001: Not enough timer resources available for Suspend().",
    "6002: Unable to open environment-variable update file \"%s\"",
    "6090: Error parsing Environment Variable \"%s\".",
    "6100: Error %d loading dll module \"%s\".",
    "6101: Invalid type for parameter %d; must be number, unknown, byte array or blob.",
    "6102: Calling convention must be CDECL, PASCAL, or STDCALL.",
    "6103: Error %d getting procedure address.",
    "6150: Ole could not be initialized.",
    "6151: Bad flag parameter passed to OleInvoke.",
    "6152: Must provide the value to be put.",
    "6153: Cannot pass arrays to OleInvoke.",
    "6154: Cannot pass undefined variables to OleInvoke.",
    "6155: Cannot pass structures to OleInvoke.",
    "6156: That OLE object is no longer valid.",
    "8000: Stack space is too low to continue.",
    "1007: Macro \"%s\" is nested too deeply; does its text use its own name?",
    "5118: The value's storage lies beyond the 32-bit address range; pointer() cannot give its address.",
};

// Messages are formatted into a fixed buffer: reporting must work when memory
// is exhausted. Longer texts (a long file name in 0001) are cut.
constexpr int kMessageBufferSize = 1200;

void WriteMessage(Context& context, const char* format, std::va_list args) {
  char buffer[kMessageBufferSize];
  std::vsnprintf(buffer, sizeof buffer, format, args);
  context.host->WriteErrorMessage(buffer);
}

}  // namespace

const char* MessageText(MessageId id) {
  return id < MSG_COUNT ? kMessageTable[id] : kMessageTable[MSG_NOT_FOUND];
}

bool RaiseError(Context& context, MessageId id, ...) {
  if (context.runState == RUN_ERROR) return false;
  context.runState = RUN_ERROR;
  if (id != MSG_NOT_FOUND) {
    std::va_list args;
    va_start(args, id);
    WriteMessage(context, MessageText(id), args);
    va_end(args);
  }
  PrintErrorLocation(context);
  return false;
}

bool RaiseErrorIfRunning(Context& context, MessageId id, ...) {
  if (context.runState != RUN_RUNNING) return false;
  std::va_list args;
  va_start(args, id);
  WriteMessage(context, MessageText(id), args);
  va_end(args);
  context.runState = RUN_ERROR;
  PrintErrorLocation(context);
  return false;
}

bool RaiseErrorText(Context& context, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  WriteMessage(context, format, args);
  va_end(args);
  if (context.runState == RUN_ERROR) return false;
  context.runState = RUN_ERROR;
  PrintErrorLocation(context);
  return false;
}

void PrintErrorLocation(Context& context) {
  SourcePosition position = context.CurrentPosition();
  if (position.file == nullptr) return;
  char buffer[kMessageBufferSize];
  std::snprintf(buffer, sizeof buffer, MessageText(MSG_LOCATION), position.file,
                static_cast<unsigned>(position.line));
  context.host->WriteErrorLocation(buffer);
}

void FatalError(MessageId id, ...) {
  char buffer[400];
  std::va_list args;
  va_start(args, id);
  std::vsnprintf(buffer, sizeof buffer, MessageText(id), args);
  va_end(args);
  Host* host = ProcessHost();
  if (host != nullptr) {
    host->ShowFatal(buffer);
  } else {
    std::fprintf(stderr, "\a\a%s\n", buffer);
  }
  std::fflush(nullptr);
  std::_Exit(255);
}

}  // namespace kel
