// pkexec for the guest, where no polkit agent can ask anyone: installed
// setuid root, it grants at once and otherwise does what the real one does
// with the command, so that the repair meets real root privileges and a
// real PKEXEC_UID. It records its arguments, one line, for the test.
#include <grp.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Read by kernel_readiness_test.cc.
constexpr char kArgumentLog[] = "/tmp/pkexec-arguments";

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    return 127;
  }
  std::string arguments = argv[1];
  for (int i = 2; i < argc; ++i) {
    arguments += ' ';
    arguments += argv[i];
  }
  FILE* log = std::fopen(kArgumentLog, "w");
  if (log == nullptr) {
    return 127;
  }
  std::fprintf(log, "%s\n", arguments.c_str());
  std::fclose(log);

  if (setenv("PKEXEC_UID", std::to_string(getuid()).c_str(), 1) != 0 ||
      setgroups(0, nullptr) != 0 || setgid(0) != 0 || setuid(0) != 0) {
    std::perror("pkexec");
    return 127;
  }
  execvp(argv[1], argv + 1);
  std::perror("pkexec");
  return 127;
}
