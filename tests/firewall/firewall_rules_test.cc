// Whether the firewall lets the handheld's UDP port in, and opening it,
// through the bridge's channels against the real ufw and firewalld in a
// network namespace of their own (in_private_firewall.sh).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "host_bridge_harness.h"
#include "private_firewall.h"

namespace {

using bridge_testing::List;
using firewall_testing::FirewalldPorts;
using firewall_testing::InstallPkexec;
using firewall_testing::Prompt;
using firewall_testing::PutToolsOnPath;
using firewall_testing::SetFirewalldPorts;
using firewall_testing::SetUfw;
using firewall_testing::TakePkexecArguments;
using firewall_testing::UfwStatus;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Optional;

constexpr int64_t kPort = 26760;
// Both ends of the range are searched for as text: "26760/udp" is part of
// "26759:26760/udp", "26761/udp" is not.
constexpr int64_t kPortOutsideNarrowRange = 26761;
// firewalld counts a port inside an open range as open itself (and does not
// add it again), so only a port outside the range reaches the query for the
// range.
constexpr int64_t kPortOutsideRange = 27000;
constexpr char kUfwRange[] = "26759:26761/udp";
constexpr char kUfwNarrowRange[] = "26759:26760/udp";
constexpr char kFirewalldRange[] = "26759-26761/udp";
constexpr char kFirewalldPort[] = "26760/udp";

std::string UfwAllow(int64_t port) {
  return "ufw allow 26759:26761/udp >/dev/null 2>&1 && ufw allow " +
         std::to_string(port) + "/udp >/dev/null 2>&1";
}

std::string FirewalldAdd(int64_t port) {
  return "firewall-cmd --add-port=26759-26761/udp --permanent >/dev/null "
         "2>&1 && firewall-cmd --add-port=" +
         std::to_string(port) +
         "/udp --permanent >/dev/null 2>&1 && firewall-cmd --reload "
         ">/dev/null 2>&1";
}

// Each case sets ufw's state first (the previous case's is left behind),
// with a pkexec that says yes and firewalld not running.
class UfwTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string why = firewall_testing::WhyNoPrivateFirewall();
    if (!why.empty()) {
      GTEST_SKIP() << why;
    }
    PutToolsOnPath(true);
    InstallPkexec(Prompt::kGrants);
    TakePkexecArguments();
  }

  // Made on first use: its telemetry thread starts tools from the first
  // moment, so PATH must have its final value before.
  host_testing::HostBridgeHarness& Bridge() {
    if (!bridge_) {
      bridge_ = std::make_unique<host_testing::HostBridgeHarness>();
    }
    return *bridge_;
  }

  void HideTheTools() {
    ASSERT_EQ(bridge_, nullptr);
    PutToolsOnPath(false);
  }

  std::optional<bool> IsAllowed(int64_t port) {
    return Reply("isUdpPortAllowedInFirewall", List({fl_value_new_int(port)}));
  }

  std::optional<bool> Ensure(int64_t port) {
    return Reply("ensureUdpPortAllowedInFirewall",
                 List({fl_value_new_string("Handheld link"),
                       fl_value_new_int(port)}));
  }

 private:
  // Nothing unless the reply is a bool. firewall-cmd, the reload and the
  // prompt take longer than the harness's usual wait.
  std::optional<bool> Reply(const char* method, FlValue* arguments) {
    const std::optional<host_testing::Bytes> reply = Bridge().dart_.Call(
        host_testing::System(method), host_testing::Arguments(arguments),
        std::chrono::seconds(60));
    if (!reply) {
      return std::nullopt;
    }
    g_autoptr(FlValue) value = host_testing::Element(*reply);
    if (fl_value_get_type(value) != FL_VALUE_TYPE_BOOL) {
      return std::nullopt;
    }
    return fl_value_get_bool(value);
  }

  std::unique_ptr<host_testing::HostBridgeHarness> bridge_;
};

// The same, with one firewalld running for the whole group. Its ports are
// set before ufw's state: a reload flushes ufw's chains.
class FirewalldTest : public UfwTest {
 protected:
  static void SetUpTestSuite() {
    if (firewall_testing::WhyNoPrivateFirewall().empty()) {
      PutToolsOnPath(true);
      firewalld_ = std::make_unique<firewall_testing::Firewalld>();
    }
  }

  static void TearDownTestSuite() { firewalld_.reset(); }

  void SetUp() override {
    UfwTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) {
      return;
    }
    ASSERT_TRUE(firewalld_->running())
        << "firewalld did not start:\n" << firewalld_->Log();
  }

  static std::unique_ptr<firewall_testing::Firewalld> firewalld_;
};

std::unique_ptr<firewall_testing::Firewalld> FirewalldTest::firewalld_;

TEST_F(UfwTest, TheFullRangeAllowsAnyPort) {
  ASSERT_TRUE(SetUfw(true, {kUfwRange}));
  EXPECT_THAT(IsAllowed(kPort), Optional(true));
  EXPECT_THAT(IsAllowed(kPortOutsideRange), Optional(true));
  // Asks firewalld next, which does not run.
  EXPECT_THAT(Ensure(kPort), Optional(true));
  EXPECT_THAT(TakePkexecArguments(), IsEmpty());
  EXPECT_THAT(UfwStatus(), ElementsAre("active", "26759:26761/udp ALLOW"));
}

TEST_F(UfwTest, TheNarrowRangeAllowsButEnsureOpensTheFullRange) {
  ASSERT_TRUE(SetUfw(true, {kUfwNarrowRange}));
  EXPECT_THAT(IsAllowed(kPortOutsideNarrowRange), Optional(true));
  EXPECT_THAT(Ensure(kPortOutsideNarrowRange), Optional(true));
  EXPECT_THAT(TakePkexecArguments(),
              ElementsAre("sh", "-c", UfwAllow(kPortOutsideNarrowRange)));
  EXPECT_THAT(UfwStatus(),
              ElementsAre("active", "26759:26760/udp ALLOW",
                          "26759:26761/udp ALLOW", "26761/udp ALLOW"));
}

TEST_F(UfwTest, WithoutRulesEnsureOpensTheRangeAndThePort) {
  ASSERT_TRUE(SetUfw(true));
  EXPECT_THAT(IsAllowed(kPort), Optional(false));
  EXPECT_THAT(Ensure(kPort), Optional(true));
  EXPECT_THAT(TakePkexecArguments(), ElementsAre("sh", "-c", UfwAllow(kPort)));
  EXPECT_THAT(UfwStatus(), ElementsAre("active", "26759:26761/udp ALLOW",
                                       "26760/udp ALLOW"));
  EXPECT_THAT(IsAllowed(kPort), Optional(true));
}

TEST_F(UfwTest, ADeclinedPromptChangesNothing) {
  ASSERT_TRUE(SetUfw(true));
  InstallPkexec(Prompt::kDeclines);
  EXPECT_THAT(Ensure(kPort), Optional(false));
  EXPECT_THAT(TakePkexecArguments(), ElementsAre("sh", "-c", UfwAllow(kPort)));
  EXPECT_THAT(UfwStatus(), ElementsAre("active"));
}

TEST_F(UfwTest, InactiveWithoutFirewalldAllowsAnyPort) {
  // "Status: inactive" must not pass for active.
  ASSERT_TRUE(SetUfw(false));
  EXPECT_THAT(IsAllowed(kPort), Optional(true));
  EXPECT_THAT(Ensure(kPort), Optional(true));
  EXPECT_THAT(TakePkexecArguments(), IsEmpty());
  EXPECT_THAT(UfwStatus(), ElementsAre("inactive"));
}

TEST_F(FirewalldTest, AnOpenPortOrRangeIsLeftAsItIs) {
  ASSERT_TRUE(SetFirewalldPorts({kFirewalldPort}));
  ASSERT_TRUE(SetUfw(false));
  EXPECT_THAT(IsAllowed(kPort), Optional(true));
  EXPECT_THAT(Ensure(kPort), Optional(true));

  ASSERT_TRUE(SetFirewalldPorts({kFirewalldRange}));
  EXPECT_THAT(IsAllowed(kPortOutsideRange), Optional(true));
  EXPECT_THAT(Ensure(kPortOutsideRange), Optional(true));

  EXPECT_THAT(TakePkexecArguments(), IsEmpty());
  EXPECT_THAT(FirewalldPorts(true), ElementsAre(kFirewalldRange));
}

TEST_F(FirewalldTest, WithNeitherEnsureAddsPermanentRulesAndReloads) {
  ASSERT_TRUE(SetFirewalldPorts({}));
  ASSERT_TRUE(SetUfw(false));
  EXPECT_THAT(IsAllowed(kPort), Optional(false));
  EXPECT_THAT(Ensure(kPort), Optional(true));
  EXPECT_THAT(TakePkexecArguments(),
              ElementsAre("sh", "-c", FirewalldAdd(kPort)));
  EXPECT_THAT(FirewalldPorts(true), ElementsAre(kFirewalldRange));
  EXPECT_THAT(FirewalldPorts(false), ElementsAre(kFirewalldRange));
  EXPECT_THAT(IsAllowed(kPort), Optional(true));
}

TEST_F(FirewalldTest, ADeclinedPromptChangesNothing) {
  ASSERT_TRUE(SetFirewalldPorts({}));
  ASSERT_TRUE(SetUfw(false));
  InstallPkexec(Prompt::kDeclines);
  EXPECT_THAT(Ensure(kPort), Optional(false));
  EXPECT_THAT(TakePkexecArguments(),
              ElementsAre("sh", "-c", FirewalldAdd(kPort)));
  EXPECT_THAT(FirewalldPorts(true), IsEmpty());
  EXPECT_THAT(FirewalldPorts(false), IsEmpty());
}

TEST_F(FirewalldTest, AnActiveUfwThatLacksTheRuleDecidesAlone) {
  ASSERT_TRUE(SetFirewalldPorts({kFirewalldPort}));
  ASSERT_TRUE(SetUfw(true));
  EXPECT_THAT(IsAllowed(kPort), Optional(false));
  EXPECT_THAT(Ensure(kPort), Optional(true));
  EXPECT_THAT(TakePkexecArguments(), ElementsAre("sh", "-c", UfwAllow(kPort)));
  EXPECT_THAT(UfwStatus(), ElementsAre("active", "26759:26761/udp ALLOW",
                                       "26760/udp ALLOW"));
  EXPECT_THAT(FirewalldPorts(true), ElementsAre(kFirewalldPort));
}

TEST_F(FirewalldTest, EnsureOpensFirewalldTooWhenUfwAllows) {
  ASSERT_TRUE(SetFirewalldPorts({}));
  ASSERT_TRUE(SetUfw(true, {kUfwRange}));
  EXPECT_THAT(IsAllowed(kPort), Optional(true));
  EXPECT_THAT(Ensure(kPort), Optional(true));
  EXPECT_THAT(TakePkexecArguments(),
              ElementsAre("sh", "-c", FirewalldAdd(kPort)));
  EXPECT_THAT(FirewalldPorts(false), ElementsAre(kFirewalldRange));
}

TEST_F(FirewalldTest, WithoutEitherToolOnPathAnyPortIsAllowed) {
  ASSERT_TRUE(SetFirewalldPorts({}));
  ASSERT_TRUE(SetUfw(true));
  HideTheTools();
  EXPECT_THAT(IsAllowed(kPort), Optional(true));
  EXPECT_THAT(Ensure(kPort), Optional(true));
  EXPECT_THAT(TakePkexecArguments(), IsEmpty());
}

}  // namespace
