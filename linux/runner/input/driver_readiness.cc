#include "driver_readiness.h"

#include <unistd.h>

#include "uinput_device.h"

namespace korvane_bridge {

namespace {

// Loads the module now and at every boot, and gives desktop users access
// through a udev rule; the chmod makes the node usable at once, before the
// rule has been applied to the running session.
constexpr char kRepairCommand[] =
    R"(pkexec sh -c 'modprobe uinput || true; )"
    R"(mkdir -p /etc/modules-load.d && )"
    R"(echo uinput > /etc/modules-load.d/korvane-uinput.conf; )"
    R"(printf "KERNEL==\"uinput\", SUBSYSTEM==\"misc\", MODE=\"0660\", )"
    R"(TAG+=\"uaccess\", OPTIONS+=\"static_node=uinput\"\n" )"
    R"(> /etc/udev/rules.d/99-korvane-uinput.rules && )"
    R"(udevadm control --reload-rules && )"
    R"(udevadm trigger --sysname-match=uinput && )"
    R"(chmod 0666 /dev/uinput')";

}  // namespace

KorvaneBridgeNativeDriverReadiness CheckUinputReadiness(KernelCalls& kernel) {
  if (kernel.Access(kUinputPath, F_OK) != 0) {
    return KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_MODULE_NOT_LOADED;
  }
  if (kernel.Access(kUinputPath, R_OK | W_OK) != 0) {
    return KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_PERMISSION_REQUIRED;
  }
  return KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_READY;
}

bool SetupOrRepairUinputInteractive(KernelCalls& kernel) {
  if (CheckUinputReadiness(kernel) ==
      KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_READY) {
    return true;
  }
  // The command's status says nothing reliable (a cancelled prompt and a
  // partly failed script look alike), so the node is tested again instead.
  kernel.RunShellCommand(kRepairCommand);
  return CheckUinputReadiness(kernel) ==
         KORVANE_BRIDGE_NATIVE_DRIVER_READINESS_READY;
}

}  // namespace korvane_bridge
