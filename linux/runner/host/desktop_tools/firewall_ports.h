#ifndef LINUX_RUNNER_HOST_DESKTOP_TOOLS_FIREWALL_PORTS_H_
#define LINUX_RUNNER_HOST_DESKTOP_TOOLS_FIREWALL_PORTS_H_

// Whether the desktop's firewall (ufw, else firewalld) lets the handheld's
// UDP traffic in, and opening its ports through an administrator prompt.
// Both block on the tools and the prompt: run them off the main thread.

#include <stdint.h>

namespace korvane_bridge {

// True when ufw is active and allows the port or the handheld's range, or
// when firewalld runs and allows one of them, or when neither is active.
bool IsUdpPortAllowedInFirewall(int64_t port);

// Opens the handheld's range 26759..26761 and `port` where they are not
// open yet, then answers whether the firewall allows the port now.
bool EnsureUdpPortAllowedInFirewall(int64_t port);

}  // namespace korvane_bridge

#endif  // LINUX_RUNNER_HOST_DESKTOP_TOOLS_FIREWALL_PORTS_H_
