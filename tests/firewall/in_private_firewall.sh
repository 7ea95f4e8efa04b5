#!/bin/sh
# in_private_firewall.sh <command> [argument...]
#
# Runs the command with a firewall of its own, so that it can enable ufw and
# start firewalld for real without touching the machine's: in new network
# (iptables, nftables, net.* sysctls), mount and PID namespaces, with private
# copies of /etc/ufw, /etc/firewalld and /etc/default, an empty /run,
# /var/log and TMPDIR, a private system bus at the usual address, and
# PRIVATE_FIREWALL_DIR for the command's own files. Every daemon started
# inside dies with the PID namespace (unshare --kill-child).
#
# Without root, user namespaces are tried; where the namespaces or the copies
# cannot be made, the command runs anyway with PRIVATE_FIREWALL_UNAVAILABLE
# saying why, so that it can skip rather than meet the machine's firewall.
set -u

if [ "${1-}" != --inside ]; then
  # unshare --mount makes every mount private, so nothing below propagates.
  namespaces="--net --mount --pid --fork --kill-child --mount-proc"
  [ "$(id -u)" -eq 0 ] || namespaces="--user --map-root-user $namespaces"
  # shellcheck disable=SC2086
  if why=$(unshare $namespaces true 2>&1); then
    exec unshare $namespaces -- "$0" --inside "$@"
  fi
  PRIVATE_FIREWALL_UNAVAILABLE="unshare $namespaces failed: $why" exec "$@"
fi
shift

here=$(cd "$(dirname "$0")" && pwd)
private=/run/private-firewall

make_private() {
  mount -t tmpfs -o mode=0755 private-run /run &&
    mkdir -p "$private/etc" "$private/log" "$private/tmp" /run/dbus &&
    for dir in ufw firewalld default; do
      cp -a "/etc/$dir" "$private/etc/" &&
        mount --bind "$private/etc/$dir" "/etc/$dir" || return 1
    done &&
    mount --bind "$private/log" /var/log
}

# Without root, copying the firewall's configuration fails on the files that
# only root may read.
if ! why=$(make_private 2>&1); then
  why=$(echo "$why" | grep -v "failed to preserve ownership" | head -n 1)
  PRIVATE_FIREWALL_UNAVAILABLE="the firewall configuration cannot be copied without root ($why)" exec "$@"
fi

export TMPDIR="$private/tmp"
# It forks once it listens on the socket; it dies with the namespace, when
# this script (its PID 1) ends.
if ! dbus-daemon --config-file="$here/private_system_bus.conf" --fork \
  --nopidfile 2>"$private/log/dbus.log"; then
  echo "in_private_firewall.sh: the private system bus did not start:" >&2
  cat "$private/log/dbus.log" >&2
  exit 1
fi

PRIVATE_FIREWALL_DIR="$private" "$@"
