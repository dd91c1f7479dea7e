#pragma once
// The one interface through which the interpreter core reaches its host
// program (the console program, or the windowed program with its own console
// window).

#include <cstddef>
#include <cstdio>
#include <span>
#include <string_view>

namespace kel {

struct Context;

// A key typed at the interactive shell's prompt: a character code, or for
// an extended key (cursor keys, Home, End, Delete) the Windows console's
// code of it (Left 75, Right 77, Up 72, Down 80, Home 71, End 79, Delete 83).
struct ShellKey {
  int code;
  bool extended;
};

class Host {
 public:
  virtual ~Host() = default;

  // Writes an error [message] of a run to the script's standard error, in the
  // host's own form.
  virtual void WriteErrorMessage(const char* message) = 0;
  // Writes the "Error near" [line] that follows an error message.
  virtual void WriteErrorLocation(const char* line) = 0;
  // Shows a fatal [message]; the caller ends the process afterwards. Must not
  // allocate memory.
  virtual void ShowFatal(const char* message) = 0;

  // The search path saved for this program (the "KELPATH" value of its
  // registry key), read on first use; empty when there is none.
  virtual std::string_view SavedSearchPath() = 0;
  // The program's own name, as the banner and usage texts show it.
  virtual const char* ProgramName() const = 0;
  // The macros (each defined as "1") that tell scripts which system and host
  // they run on, such as "_WIN32_" and "_NTCON_".
  virtual std::span<const char* const> PlatformMacros() const = 0;

  // The stream layer tells the host which name a stream was opened, reopened
  // or restored on, and when it is closed; a windowed host serves streams on
  // "CON" through its own console window.
  virtual void NoteStreamName(std::FILE* stream, const char* name) { (void)stream, (void)name; }
  // The file to open for the name [name]: the name itself, but the null
  // device for the console in a program that has none (its window serves the
  // stream, whatever the open gives).
  virtual const char* FileToOpen(const char* name) const { return name; }
  virtual void ForgetStream(std::FILE* stream) { (void)stream; }

  // The streams that refer to the host's own console window (the windowed
  // program's): writing shows the bytes there, up to a NUL byte (standard
  // error: in a message box), false when the window refuses them; reading
  // takes the keys typed into it (EOF once [run] stopped or the window
  // closes), and a key given back is read again first.
  virtual bool IsWindowStream(std::FILE* stream) const { return (void)stream, false; }
  virtual bool WriteWindow(std::FILE* stream, const char* bytes, std::size_t count) {
    return (void)stream, (void)bytes, (void)count, false;
  }
  virtual int ReadWindowCharacter(Context& run) { return (void)run, EOF; }
  virtual void UnreadWindowCharacter(int c) { (void)c; }

  // Writes [text] of the interpreter's own (the shell's prompt, the banner,
  // a break notice) where the script's standard output goes, at once.
  virtual void WriteStandardOutput(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
  }

  // Called before the library reads the process's standard input, so that
  // line input behaves as the user expects (echo, editing).
  virtual void BeforeStandardInput() {}

  // The next key for the shell's line editor; false at the end of input.
  // Input that is no console (a pipe, a file) gives its bytes as keys.
  virtual bool ReadShellKey(ShellKey& key) {
    const int c = std::getchar();
    key = ShellKey{c, false};
    return c != EOF;
  }
  // Called when the shell has a whole line, before it runs it: the console
  // goes back to line input for the command.
  virtual void EndShellLine() {}

  // Shows [scriptName] as the running script while a file runs (window title).
  virtual void ShowRunningScript(std::string_view scriptName) { (void)scriptName; }
  // Restores what ShowRunningScript replaced.
  virtual void RestoreTitle() {}
};

// The host of this process, set once by the program's entry; used by the fatal
// path, which has no run context to reach it through.
Host* ProcessHost();
void SetProcessHost(Host* host);

}  // namespace kel
