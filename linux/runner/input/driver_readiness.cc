#include "input/driver_readiness.h"

#include <unistd.h>

#include "input/uinput_device.h"

namespace korvane_bridge {

namespace {

// Loads the module now and at every boot, and gives desktop users access
// through the udev rule's uaccess tag, which covers their later sessions.
// The rule reaches the running session only once udev re-applies it, so
// setfacl lets in the user who authenticated (pkexec names them in
// PKEXEC_UID, which the inner root shell expands) at once, and nobody else:
// a world-writable node would let every local user type into the desktop.
constexpr char kRepairCommand[] =
    R"(pkexec sh -c 'modprobe uinput || true; )"
    R"(mkdir -p /etc/modules-load.d && )"
    R"(echo uinput > /etc/modules-load.d/korvane-uinput.conf; )"
    R"(printf "KERNEL==\"uinput\", SUBSYSTEM==\"misc\", MODE=\"0660\", )"
    R"(TAG+=\"uaccess\", OPTIONS+=\"static_node=uinput\"\n" )"
    R"(> /etc/udev/rules.d/99-korvane-uinput.rules && )"
    R"(udevadm control --reload-rules && )"
    R"(udevadm trigger --sysname-match=uinput && )"
    R"(setfacl -m "u:$PKEXEC_UID:rw" /dev/uinput')";

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
