// The real ufw and firewalld in in_private_firewall.sh's namespaces, asked
// and opened through the bridge's channels: that they print what
// FirewallDecisionsTest feeds the host and take the commands it gives them.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <string>

#include "host_bridge_harness.h"
#include "peer_test_support.h"

namespace {

const char* const kPrivate = getenv("PRIVATE_FIREWALL_DIR");

// Standard output and error, through the shell, and whether it exited 0.
std::pair<bool, std::string> Shell(const std::string& command) {
  FILE* pipe = popen(("exec 2>&1; " + command).c_str(), "r");
  std::string output;
  char buffer[4096];
  for (size_t count; pipe && (count = fread(buffer, 1, sizeof buffer, pipe));) {
    output.append(buffer, count);
  }
  return {pipe && pclose(pipe) == 0, output};
}

::testing::AssertionResult Succeeds(const std::string& command) {
  const auto [ok, output] = Shell(command);
  return (ok ? ::testing::AssertionSuccess() : ::testing::AssertionFailure())
         << command << ":\n"
         << output;
}

class FirewallSmokeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* why = getenv("PRIVATE_FIREWALL_UNAVAILABLE")) {
      GTEST_SKIP() << why;
    }
    ASSERT_NE(kPrivate, nullptr)
        << "not started by in_private_firewall.sh, whose namespaces alone "
           "keep ufw and firewalld from the machine's own firewall";
  }

  // Asks whether the handheld's port is let in, opens it, asks again, with
  // more than the harness's usual wait for firewall-cmd and its reload.
  void ExpectClosedThenOpened() {
    host_testing::HostBridgeHarness bridge;
    const auto ask = [&](const char* method, FlValue* arguments) {
      return bridge.CallBool(host_testing::Method(method),
                             host_testing::Arguments(arguments),
                             std::chrono::seconds(60));
    };
    const auto allowed = [&] {
      return ask("isUdpPortAllowedInFirewall",
                 bridge_testing::List({fl_value_new_int(26760)}));
    };
    EXPECT_FALSE(allowed());
    EXPECT_TRUE(ask("ensureUdpPortAllowedInFirewall",
                    bridge_testing::List({fl_value_new_string("Handheld link"),
                                          fl_value_new_int(26760)})));
    EXPECT_TRUE(allowed());
  }
};

// A deny of the port listed first blocks; opening makes ufw turn it into an
// allow, with the handheld's range.
TEST_F(FirewallSmokeTest, Ufw) {
  ASSERT_TRUE(
      Succeeds("ufw --force reset && ufw deny 26760/udp && "
               "ufw allow 26759:26761/udp && ufw --force enable"));
  ExpectClosedThenOpened();
  // The IPv4 rules, each of which has an IPv6 twin.
  EXPECT_EQ(Shell("LC_ALL=C ufw status | awk '/^--/ { listed = 1; next } "
                  "listed && NF && !/\\(v6\\)/ { print $1, $2 }'")
                .second,
            "26760/udp ALLOW\n26759:26761/udp ALLOW\n");
}

// firewalld counts the port inside the opened range as open itself and
// does not add it again. Its log goes to the private directory, not to the
// machine's syslog.
TEST_F(FirewallSmokeTest, Firewalld) {
  ASSERT_TRUE(Succeeds("ufw --force disable"));
  const std::string log = std::string(kPrivate) + "/firewalld.log";
  // It dies with the PID namespace. It is Python and loads its whole
  // configuration first: a busy machine can take many seconds.
  Shell("firewalld --nofork --nopid --log-target file --log-file '" + log +
        "' >>'" + log + "' 2>&1 &");
  ASSERT_TRUE(peer_testing::Eventually(
      [] { return Shell("firewall-cmd --state").second == "running\n"; },
      std::chrono::seconds(60), std::chrono::milliseconds(100)))
      << Shell("cat '" + log + "'").second;
  ASSERT_EQ(Shell("firewall-cmd --list-ports").second, "\n")
      << "this machine's firewalld configuration opens ports already";
  ExpectClosedThenOpened();
  EXPECT_EQ(Shell("firewall-cmd --permanent --list-ports").second,
            "26759-26761/udp\n");
  EXPECT_EQ(Shell("firewall-cmd --list-ports").second, "26759-26761/udp\n");
}

}  // namespace
