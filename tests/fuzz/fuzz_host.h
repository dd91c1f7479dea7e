#pragma once
// What the fuzz targets share: a host that keeps quiet, the stack guard told
// about the fuzzer's thread, and whole programs run under the limits that
// keep a generated program from being a false finding.

#include <string>
#include <string_view>

namespace kel {
struct Context;
class Host;
}

namespace kel::fuzz {

// The process's top context, with the library registered; made at the first
// call (and again after a fatal message abandoned the previous one).
Context& TopContext();

// Notes the stack of the calling thread for the interpreter's stack guard:
// the fuzzer's main thread, 6 MiB below the first call's frame.
void NoteStack();

// Runs [text] as a program's code, with main, as the command line would.
// Standard input reads end of file, standard output is discarded, files are
// made only under a scratch folder, built-ins that write outside the run
// (poke, remove, rename) are unknown, and a program still running after a
// second gets a break request, so that an endless loop ends the way Ctrl+C
// ends it: a run that ignores the request is a finding (the fuzzer's timeout).
// A fatal message (0003 for a size no allocation can meet) ends the run, not
// the fuzzer. Returns the run's exit code, or -1 after a fatal message.
int RunProgramText(std::string_view text);

// Runs [data] as a bound executable's program data (its integrity record
// not asked for), under the limits above: damaged data is refused (-1) as
// it would end in the fatal message 0105, anything else runs as
// RunProgramText's program would.
int RunBoundData(std::string_view data);

// For a target that builds programs from its input: ends the fuzzer with a
// message unless [text], made from a plain input, runs to exit code 0 (a
// generated program that never loads would fuzz nothing).
void CheckGeneratedProgram(const std::string& text);

// Calls [body] with [argument]; a fatal message inside it returns here
// (false) instead of ending the process, abandoning what the body had made,
// and the next call of TopContext makes a new top context.
bool RunGuarded(void (*body)(void*), void* argument);

// The host of the fuzz targets: it shows nothing.
Host& QuietHost();

// [bytes] as a Kel string literal: every byte an octal escape, so that any
// byte, quotes and backslashes included, arrives as itself.
std::string QuoteBytes(std::string_view bytes);

}  // namespace kel::fuzz
