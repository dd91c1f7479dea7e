/* Starts a program with an exact command line, which wine's own start-up
   cannot give (it re-quotes its arguments). The test runner sets
   KEL_LAUNCH_APP (the program) and KEL_LAUNCH_COMMAND_LINE (the whole line,
   program name included); standard handles are inherited and the program's
   exit code becomes the launcher's. */

#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

int main(void) {
  const char* app = getenv("KEL_LAUNCH_APP");
  const char* line = getenv("KEL_LAUNCH_COMMAND_LINE");
  if (app == NULL || line == NULL) {
    fprintf(stderr, "kel_launch: KEL_LAUNCH_APP and KEL_LAUNCH_COMMAND_LINE must be set\n");
    return 250;
  }
  char* commandLine = _strdup(line);
  STARTUPINFOA startup;
  PROCESS_INFORMATION process;
  ZeroMemory(&startup, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  if (!CreateProcessA(app, commandLine, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process)) {
    fprintf(stderr, "kel_launch: cannot start %s (error %lu)\n", app, GetLastError());
    return 251;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 252;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  free(commandLine);
  return (int)exitCode;
}
