#include "gamepad_device.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_kernel.h"

namespace {

using input_testing::CallsOn;
using input_testing::CreationStep;
using input_testing::FakeKernel;
using input_testing::KernelCall;
using korvane_bridge::CreateGamepadDevice;

// One capability declaration as the kernel receives it.
struct Declaration {
  unsigned long request;
  int value;
  // For UI_ABS_SETUP: code, minimum, maximum, fuzz, flat.
  std::vector<int> axis;
  bool operator==(const Declaration& other) const {
    return request == other.request && value == other.value &&
           axis == other.axis;
  }
};

std::ostream& operator<<(std::ostream& out, const Declaration& d) {
  out << "request " << std::hex << d.request << std::dec << " value "
      << d.value;
  for (int v : d.axis) {
    out << " " << v;
  }
  return out;
}

std::vector<Declaration> ExpectedDeclarations() {
  std::vector<Declaration> expected;
  for (int type : {0x01, 0x03, 0x00, 0x15}) {
    expected.push_back({UI_SET_EVBIT, type, {}});
  }
  for (int key : {0x130, 0x131, 0x133, 0x134, 0x136, 0x137, 0x138, 0x139, 0x13A,
                  0x13B, 0x13C, 0x13D, 0x13E}) {
    expected.push_back({UI_SET_KEYBIT, key, {}});
  }
  const std::vector<std::vector<int>> axes = {
      {0x00, -32768, 32767, 16, 128},
      {0x01, -32768, 32767, 16, 128},
      {0x03, -32768, 32767, 16, 128},
      {0x04, -32768, 32767, 16, 128},
      {0x02, 0, 255, 0, 0},
      {0x05, 0, 255, 0, 0},
      {0x10, -1, 1, 0, 0},
      {0x11, -1, 1, 0, 0},
  };
  for (const auto& axis : axes) {
    expected.push_back({UI_SET_ABSBIT, axis[0], {}});
    expected.push_back({UI_ABS_SETUP, 0, axis});
  }
  expected.push_back({UI_SET_FFBIT, 0x50, {}});
  return expected;
}

std::vector<Declaration> RecordedDeclarations(const FakeKernel& kernel,
                                              int fd) {
  std::vector<Declaration> declared;
  for (const KernelCall& call :
       CallsOn(kernel.Calls(), KernelCall::Kind::kIoctl, fd)) {
    if (call.request == UI_DEV_SETUP) {
      break;
    }
    Declaration d{call.request, call.value, {}};
    if (call.abs_setup) {
      const input_absinfo& info = call.abs_setup->absinfo;
      d.axis = {call.abs_setup->code, info.minimum, info.maximum, info.fuzz,
                info.flat};
      EXPECT_EQ(info.value, 0);
      EXPECT_EQ(info.resolution, 0);
    }
    declared.push_back(d);
  }
  return declared;
}

std::vector<unsigned long> Requests(const FakeKernel& kernel, int fd) {
  std::vector<unsigned long> requests;
  for (const KernelCall& call :
       CallsOn(kernel.Calls(), KernelCall::Kind::kIoctl, fd)) {
    requests.push_back(call.request);
  }
  return requests;
}

uinput_setup SetupOf(const FakeKernel& kernel, int fd) {
  for (const KernelCall& call :
       CallsOn(kernel.Calls(), KernelCall::Kind::kIoctl, fd)) {
    if (call.setup) {
      return *call.setup;
    }
  }
  ADD_FAILURE() << "no UI_DEV_SETUP on " << fd;
  return {};
}

TEST(GamepadDeviceTest, EveryPersonaDeclaresTheSameCapabilitiesThenCreates) {
  for (int32_t persona : {0, 1, 2, 7}) {
    FakeKernel kernel;
    const int fd = CreateGamepadDevice(kernel, persona, "");
    ASSERT_GE(fd, 0);
    const auto opens = kernel.Calls();
    ASSERT_EQ(opens.front().kind, KernelCall::Kind::kOpen);
    EXPECT_EQ(opens.front().flags & (O_ACCMODE | O_NONBLOCK),
              O_RDWR | O_NONBLOCK);
    EXPECT_EQ(RecordedDeclarations(kernel, fd), ExpectedDeclarations())
        << "persona " << persona;
    const auto requests = Requests(kernel, fd);
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[requests.size() - 2], UI_DEV_SETUP);
    EXPECT_EQ(requests.back(), UI_DEV_CREATE);
  }
}

TEST(GamepadDeviceTest, PersonaIdentities) {
  const struct {
    int32_t persona;
    const char* name;
    uint16_t vendor;
    uint16_t product;
    uint16_t version;
  } cases[] = {
      {0, "Sony Interactive Entertainment Wireless Controller", 0x054C, 0x09CC,
       0x8111},
      {1, "Microsoft X-Box 360 pad", 0x045E, 0x028E, 0x0114},
      {2, "Nintendo Co., Ltd. Pro Controller", 0x057E, 0x2009, 0x0210},
      {7, "Microsoft X-Box 360 pad", 0x045E, 0x028E, 0x0114},
      {-1, "Microsoft X-Box 360 pad", 0x045E, 0x028E, 0x0114},
  };
  for (const auto& c : cases) {
    FakeKernel kernel;
    const int fd = CreateGamepadDevice(kernel, c.persona, "");
    ASSERT_GE(fd, 0);
    const uinput_setup setup = SetupOf(kernel, fd);
    EXPECT_EQ(setup.id.bustype, 0x0003) << "persona " << c.persona;
    EXPECT_EQ(setup.id.vendor, c.vendor) << "persona " << c.persona;
    EXPECT_EQ(setup.id.product, c.product) << "persona " << c.persona;
    EXPECT_EQ(setup.id.version, c.version) << "persona " << c.persona;
    EXPECT_STREQ(setup.name, c.name) << "persona " << c.persona;
    EXPECT_EQ(setup.ff_effects_max, 16u) << "persona " << c.persona;
  }
}

TEST(GamepadDeviceTest, DisplayNameIsCutToWhatTheKernelHolds) {
  const std::string long_name(100, 'n');
  const struct {
    std::string display_name;
    std::string expected;
  } cases[] = {
      {"Player Two", "Player Two"},
      {std::string(79, 'a'), std::string(79, 'a')},
      {std::string(80, 'b'), std::string(79, 'b')},
      {long_name, long_name.substr(0, 79)},
  };
  for (const auto& c : cases) {
    FakeKernel kernel;
    const int fd = CreateGamepadDevice(kernel, 0, c.display_name);
    ASSERT_GE(fd, 0);
    const uinput_setup setup = SetupOf(kernel, fd);
    EXPECT_EQ(setup.name[sizeof(setup.name) - 1], '\0');
    EXPECT_EQ(std::string(setup.name), c.expected);
  }
}

TEST(GamepadDeviceTest, RefusedCreationLeavesNoDescriptorOpen) {
  for (CreationStep step : input_testing::kCreationSteps) {
    FakeKernel kernel;
    FailNextCreationAt(kernel, step);
    EXPECT_EQ(CreateGamepadDevice(kernel, 1, ""), -1) << Name(step);
    EXPECT_TRUE(kernel.OpenDescriptors().empty()) << Name(step);
    EXPECT_EQ(kernel.Misuses(), 0) << Name(step);
    for (const KernelCall& call : kernel.Calls()) {
      EXPECT_FALSE(step == CreationStep::kSetup &&
                   call.request == UI_DEV_CREATE)
          << "created after a refused setup";
    }
  }
}

TEST(GamepadDeviceTest, RefusedCapabilitiesDoNotStopTheCreation) {
  FakeKernel kernel;
  kernel.FailRequest(UI_SET_FFBIT);
  kernel.FailRequest(UI_ABS_SETUP, 8);
  EXPECT_GE(CreateGamepadDevice(kernel, 2, ""), 0);
}

}  // namespace
