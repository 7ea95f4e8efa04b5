#ifndef TESTS_FIREWALL_PRIVATE_FIREWALL_H_
#define TESTS_FIREWALL_PRIVATE_FIREWALL_H_

// The real ufw and firewalld inside in_private_firewall.sh's namespaces, put
// in each test's starting state through the tools themselves, and the
// administrator prompt's stand-in.

#include <gtest/gtest.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace firewall_testing {

// Why this process must not run the firewall tools (it is not inside
// in_private_firewall.sh's namespaces, or they could not be made), or empty.
std::string WhyNoPrivateFirewall();

// The private directory that in_private_firewall.sh made for the tests.
std::string PrivateDirectory();

// PATH: the directory of stand-ins first, then, with `tools`, the inherited
// PATH and the sbin directories, where ufw and firewalld live. Set it before
// anything that runs commands on other threads starts: those read the
// environment as they start each command.
void PutToolsOnPath(bool tools);

// The command's standard output and error, through the shell.
struct CommandResult {
  int status = -1;
  std::string output;
};
CommandResult RunCommand(const std::string& command);

// ufw, disabled and without rules, then given `rules` (what follows "ufw allow")
// and enabled unless `active` is false.
::testing::AssertionResult SetUfw(bool active,
                                  const std::vector<std::string>& rules = {});
// "inactive", or "active" followed by the IPv4 rules that `ufw status`
// lists, as "<to> <action>" (each has an IPv6 twin).
std::vector<std::string> UfwStatus();

// firewalld on the private system bus, from construction (which waits until
// it answers) to destruction.
class Firewalld {
 public:
  Firewalld();
  ~Firewalld();
  Firewalld(const Firewalld&) = delete;
  Firewalld& operator=(const Firewalld&) = delete;

  bool running() const { return running_; }
  // Its log and console output, for failure messages.
  std::string Log() const;

 private:
  std::string log_path_;
  pid_t pid_ = -1;
  bool running_ = false;
};

// Makes `ports` the only ones of the default zone, permanent and (through a
// reload) at run time. A reload also flushes the iptables tables, ufw's
// chains with them: set ufw afterwards.
::testing::AssertionResult SetFirewalldPorts(
    const std::vector<std::string>& ports);
// `firewall-cmd --list-ports`, or with --permanent, sorted.
std::vector<std::string> FirewalldPorts(bool permanent);

enum class Prompt { kGrants, kDeclines };
// Puts a pkexec among the stand-ins that logs its arguments, then runs them
// as the real one does once the administrator said yes (as root, in a clean
// environment), or runs nothing and exits 126, as when the prompt is
// dismissed.
void InstallPkexec(Prompt prompt);
// The arguments of every pkexec run since the last call, one per element.
std::vector<std::string> TakePkexecArguments();

}  // namespace firewall_testing

#endif  // TESTS_FIREWALL_PRIVATE_FIREWALL_H_
