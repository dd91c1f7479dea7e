/* peak FD COMMAND...: runs a command and reports its peak resident memory in
   KiB on file descriptor FD. The command is started from this small process, so the
   figure is the command's own and not that of a large parent (a forked
   child's high-water mark starts at its parent's size). */

#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  int report = atoi(argv[1]);
  pid_t pid = fork();
  if (pid < 0) return 2;
  if (pid == 0) {
    close(report);
    execvp(argv[2], argv + 2);
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  if (wait4(pid, &status, 0, &usage) < 0) return 2;
  dprintf(report, "%ld\n", usage.ru_maxrss);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
