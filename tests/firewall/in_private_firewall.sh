#!/bin/sh
# in_private_firewall.sh <command> [argument...]
#
# Runs the command with a firewall of its own, to enable ufw and start
# firewalld for real without touching the machine's: in new network, mount
# and PID namespaces, with private copies of the firewalls' /etc, a private
# /run, /var/log, TMPDIR and system bus, a pkexec that the administrator
# grants, and PRIVATE_FIREWALL_DIR for its own files. Where that cannot be
# made, it runs with PRIVATE_FIREWALL_UNAVAILABLE saying why.
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
    mkdir -p "$private/etc" "$private/log" "$private/tmp" "$private/bin" \
      /run/dbus &&
    for dir in ufw firewalld default; do
      cp -a "/etc/$dir" "$private/etc/" &&
        mount --bind "$private/etc/$dir" "/etc/$dir" || return 1
    done &&
    mount --bind "$private/log" /var/log
}

# Without root, copying fails on the files that only root may read.
if ! why=$(make_private 2>&1); then
  why=$(echo "$why" | grep -v "failed to preserve ownership" | head -n 1)
  PRIVATE_FIREWALL_UNAVAILABLE="the firewall configuration cannot be copied without root ($why)" exec "$@"
fi

export TMPDIR="$private/tmp"
dbus-daemon --config-file="$here/private_system_bus.conf" --fork --nopidfile ||
  exit 1

# As the real pkexec runs it: as root, in a clean environment.
# shellcheck disable=SC2016 # expanded when the stand-in runs
printf '#!/bin/sh\nexec /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin TMPDIR="$TMPDIR" "$@"\n' \
  >"$private/bin/pkexec" && chmod 755 "$private/bin/pkexec" || exit 1
PATH="$private/bin:$PATH:/usr/sbin:/sbin" PRIVATE_FIREWALL_DIR="$private" "$@"
