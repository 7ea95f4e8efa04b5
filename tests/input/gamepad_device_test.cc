#include "gamepad_device.h"

#include <gtest/gtest.h>

#include "fake_kernel.h"

namespace {

using input_testing::CallsOn;
using input_testing::CreationStep;
using input_testing::FakeKernel;
using input_testing::KernelCall;
using korvane_bridge::CreateGamepadDevice;

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
