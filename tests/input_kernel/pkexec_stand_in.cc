// pkexec for the guest, where no polkit agent can ask anyone: installed
// setuid root, it grants at once and runs the command as root with
// PKEXEC_UID set, as the real one does after the prompt. It records its
// arguments, one line, for KernelReadinessTest.
#include <grp.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  FILE* log = argc < 2 ? nullptr : std::fopen("/tmp/pkexec-arguments", "w");
  if (log == nullptr) {
    return 127;
  }
  for (int i = 1; i < argc; ++i) {
    std::fprintf(log, i + 1 < argc ? "%s " : "%s\n", argv[i]);
  }
  std::fclose(log);
  if (setenv("PKEXEC_UID", std::to_string(getuid()).c_str(), 1) == 0 &&
      setgroups(0, nullptr) == 0 && setgid(0) == 0 && setuid(0) == 0) {
    execvp(argv[1], argv + 1);
  }
  std::perror("pkexec");
  return 127;
}
