// Readiness and repair of /dev/uinput against the real node, its modes and
// an unprivileged user.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "input/uinput_pad_backend.h"

namespace {

using korvane_bridge::UinputPadBackend;

constexpr uid_t kUser = 1000;
constexpr uid_t kOtherUser = 1001;
constexpr char kNode[] = "/dev/uinput";
// Where the stand-in pkexec records its arguments.
constexpr char kCommandLog[] = "/tmp/pkexec-arguments";
constexpr char kModulesLoadFile[] = "/etc/modules-load.d/korvane-uinput.conf";
constexpr char kRulesFile[] = "/etc/udev/rules.d/99-korvane-uinput.rules";

// Runs `body` in a child that has dropped to an unprivileged user, and
// returns its exit status.
int AsUser(const std::function<int()>& body, uid_t user = kUser) {
  pid_t child = fork();
  if (child == 0) {
    if (setgid(user) != 0 || setuid(user) != 0) {
      _exit(100);
    }
    _exit(body());
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 101;
}

int Readiness() {
  return UinputPadBackend(nullptr).CheckReadiness();
}

int Repair() {
  return UinputPadBackend(nullptr).SetupOrRepairDriverInteractive() ? 0 : 1;
}

// 0, or the errno of opening the node for reading and writing.
int OpenNode() {
  const int fd = open(kNode, O_RDWR);
  if (fd < 0) {
    return errno;
  }
  close(fd);
  return 0;
}

void WriteScript(const std::string& path, const std::string& body) {
  std::ofstream(path) << "#!/bin/sh\n" << body;
  chmod(path.c_str(), 0755);
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

class KernelReadinessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(stat(kNode, &node_), 0);
    // Stand-ins for the administrator prompt and udev, first on PATH.
    mkdir("/tmp/bin", 0755);
    WriteScript("/tmp/bin/udevadm", "exit 0\n");
    setenv("PATH", "/tmp/bin:/bin", 1);
  }

  void TearDown() override {
    // A new node also drops any access list that a repair gave the old one.
    unlink(kNode);
    EXPECT_EQ(mknod(kNode, S_IFCHR | (node_.st_mode & 07777), node_.st_rdev),
              0);
    EXPECT_EQ(chown(kNode, node_.st_uid, node_.st_gid), 0);
    EXPECT_EQ(chmod(kNode, node_.st_mode & 07777), 0);
    unlink("/tmp/bin/pkexec");
    unlink(kCommandLog);
    unlink(kModulesLoadFile);
    unlink(kRulesFile);
  }

  struct stat node_ {};
};

TEST_F(KernelReadinessTest, TheThreeStates) {
  EXPECT_EQ(Readiness(), KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_READY);

  ASSERT_EQ(chmod(kNode, 0600), 0);
  EXPECT_EQ(AsUser(Readiness),
            KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_PERMISSION_REQUIRED);
  ASSERT_EQ(chmod(kNode, 0666), 0);
  EXPECT_EQ(AsUser(Readiness), KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_READY);

  ASSERT_EQ(unlink(kNode), 0);
  EXPECT_EQ(Readiness(),
            KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_MODULE_NOT_LOADED);
}

TEST_F(KernelReadinessTest, RepairRunsTheScriptOnlyWhenNeededAndMustWork) {
  // A declined prompt, or a script that failed partway and still exited 0:
  // only the node tells whether the repair worked.
  ASSERT_EQ(chmod(kNode, 0600), 0);
  for (const char* prompt : {"exit 126\n", "exit 0\n"}) {
    WriteScript("/tmp/bin/pkexec", prompt);
    EXPECT_EQ(AsUser(Repair), 1) << prompt;
    EXPECT_EQ(AsUser(Readiness),
              KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_PERMISSION_REQUIRED)
        << prompt;
  }
  unlink("/tmp/bin/pkexec");

  // The prompt grants at once and runs the script as root, as pkexec does:
  // the stand-in is installed setuid root, as the real one is.
  const char* const stand_in = "/bin/pkexec_stand_in";
  ASSERT_EQ(access(stand_in, X_OK), 0)
      << "run-guest needs --with pkexec_stand_in";
  ASSERT_TRUE(std::filesystem::copy_file(stand_in, "/tmp/bin/pkexec"));
  ASSERT_EQ(chown("/tmp/bin/pkexec", 0, 0), 0);
  ASSERT_EQ(chmod("/tmp/bin/pkexec", 04755), 0);
  for (const char* directory : {"/etc", "/etc/udev", "/etc/udev/rules.d"}) {
    mkdir(directory, 0755);
  }

  // Usable already: no prompt at all.
  ASSERT_EQ(chmod(kNode, 0666), 0);
  EXPECT_EQ(AsUser(Repair), 0);
  EXPECT_EQ(access(kCommandLog, F_OK), -1)
      << "pkexec ran although the node was usable";

  // Not usable: the exact script runs and opens the node to the user who
  // asked, and to nobody else.
  ASSERT_EQ(chown(kNode, 0, 0), 0);
  ASSERT_EQ(chmod(kNode, 0600), 0);
  EXPECT_EQ(AsUser(Repair), 0);
  EXPECT_EQ(ReadFile(kCommandLog),
            "sh -c modprobe uinput || true; mkdir -p /etc/modules-load.d && "
            "echo uinput > "
            "/etc/modules-load.d/korvane-uinput.conf; printf "
            "\"KERNEL==\\\"uinput\\\", "
            "SUBSYSTEM==\\\"misc\\\", MODE=\\\"0660\\\", TAG+=\\\"uaccess\\\", "
            "OPTIONS+=\\\"static_node=uinput\\\"\\n\" > "
            "/etc/udev/rules.d/99-korvane-uinput.rules "
            "&& udevadm control --reload-rules && udevadm trigger "
            "--sysname-match=uinput && "
            "setfacl -m \"u:$PKEXEC_UID:rw\" /dev/uinput\n");
  EXPECT_EQ(ReadFile(kModulesLoadFile), "uinput\n");
  EXPECT_EQ(ReadFile(kRulesFile),
            "KERNEL==\"uinput\", SUBSYSTEM==\"misc\", MODE=\"0660\", "
            "TAG+=\"uaccess\", "
            "OPTIONS+=\"static_node=uinput\"\n");
  EXPECT_EQ(AsUser(OpenNode), 0);
  EXPECT_EQ(AsUser(OpenNode, kOtherUser), EACCES);
  struct stat node {};
  ASSERT_EQ(stat(kNode, &node), 0);
  EXPECT_EQ(node.st_mode & S_IWOTH, 0u) << std::oct << node.st_mode;
}

}  // namespace
