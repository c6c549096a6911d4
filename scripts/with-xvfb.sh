#!/usr/bin/env bash
# with-xvfb.sh [-s "server arguments"] command [argument...]
# Runs the command on a private Xvfb of its own, with DISPLAY and XAUTHORITY
# set, ends that server afterwards and returns the command's status.
#
# Why not `xvfb-run -a`: it picks a display by looking for a free lock file
# and only then starts the server. Tests started side by side can pick the
# same number; the loser's program then meets the winner's server with the
# wrong cookie and cannot open a window. `Xvfb -displayfd` chooses and locks
# the display itself and says which one it took once it accepts clients.
set -u
server_args="-screen 0 1024x768x24"
if [ "${1:-}" = -s ]; then
  server_args=$2
  shift 2
fi
[ $# -gt 0 ] || { echo "usage: with-xvfb.sh [-s \"server arguments\"] command..." >&2; exit 2; }
for tool in Xvfb xauth; do
  command -v "$tool" >/dev/null || { echo "with-xvfb.sh: $tool is not installed" >&2; exit 2; }
done

dir=$(mktemp -d "${TMPDIR:-/tmp}/xvfb-XXXXXX") || exit 2
xvfb_pid=""
end_server() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  rm -rf "$dir"
}
trap end_server EXIT
trap 'exit 143' TERM INT HUP

# The server reads every cookie in its file, whatever display it names; the
# client's copy must name the display the server chose.
cookie=$(od -An -tx1 -N16 /dev/urandom | tr -d ' \n')
: >"$dir/server.auth"
: >"$dir/client.auth"
xauth -q -f "$dir/server.auth" add :0 . "$cookie" || exit 2
# shellcheck disable=SC2086 # the server's arguments are words on purpose
Xvfb -displayfd 3 -auth "$dir/server.auth" -nolisten tcp $server_args \
  3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
xvfb_pid=$!
for ((i = 0; i < 300; i++)); do
  # The number is written, newline last, once the server is ready.
  if [ "$(tail -c1 "$dir/display" 2>/dev/null | od -An -c | tr -d ' ')" = '\n' ]; then break; fi
  if ! kill -0 "$xvfb_pid" 2>/dev/null; then
    echo "with-xvfb.sh: Xvfb did not start:" >&2
    cat "$dir/xvfb.log" >&2
    xvfb_pid=""
    exit 2
  fi
  sleep 0.1
done
number=$(tr -dc 0-9 <"$dir/display")
[ -n "$number" ] || { echo "with-xvfb.sh: Xvfb named no display within 30 s" >&2; exit 2; }
export DISPLAY=":$number" XAUTHORITY="$dir/client.auth"
xauth -q add "$DISPLAY" . "$cookie" || exit 2

"$@" <&0 &
command_pid=$!
trap 'kill -TERM "$command_pid" 2>/dev/null; exit 143' TERM INT HUP
wait "$command_pid"
exit $?
