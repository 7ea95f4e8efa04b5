# The steps of a walk-through against a running korvane_desktop, shared by
# scripts/run and the pads walk-through it runs in a guest, so POSIX sh
# (with `local`) for the guest's busybox too. The caller sets $peer
# (korvane-peer) and $socket (the program's peer socket) and reads
# $step_count, $failed_steps and the last $reply.

step_count=0
failed_steps=0
reply=

# Shows an argument as it would be typed in a shell.
shown_argument() {
  case $1 in
    *[!A-Za-z0-9_=.,:/+-]*) printf "%s='%s'" "${1%%=*}" "${1#*=}" ;;
    *) printf '%s' "$1" ;;
  esac
}

# step QUESTION METHOD [NAME=VALUE...]: shows the question, the call as it
# could be typed and the reply; a call that fails is shown and counted, and
# the walk-through goes on.
step() {
  local question=$1 command='' argument status=0
  shift
  for argument in "$@"; do command="$command $(shown_argument "$argument")"; done
  step_count=$((step_count + 1))
  printf '\n%d. %s\n   $ korvane-peer%s\n' "$step_count" "$question" "$command"
  reply=$("$peer" --socket="$socket" "$@" 2>&1) || status=$?
  # A captured frame's bytes would fill the screen: the first few show.
  [ -z "$reply" ] || printf '%s\n' "$reply" |
    sed -e 's/^/   /' -e 's/\(jpeg_bytes: \[[0-9]*, [0-9]*, [0-9]*, [0-9]*\)[^]]*\]/\1, ...]/'
  if [ "$status" -ne 0 ]; then
    failed_steps=$((failed_steps + 1))
    echo "   (korvane-peer exited with status $status; going on)"
  fi
}
