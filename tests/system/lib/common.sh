# Shared by the real-window tests (sourced, never run on its own). Set NAME
# to the test's name first; it prefixes failure messages.
SYSTEM_LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# These tests need real windows on the X server they start; a platform set
# in the caller's environment (offscreen, say) would hide them.
export QT_QPA_PLATFORM=xcb

fail() {
  echo "${NAME:-system test}: FAIL: $*" >&2
  exit 1
}

# wait_for <tenths of a second> <command...>: polls until the command succeeds.
wait_for() {
  local tries=$1
  shift
  while ! "$@" 2>/dev/null; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || return 1
    sleep 0.1
  done
}

# build_closer <folder>: builds <folder>/close_window, which sends a window
# the close request a window manager would send (none runs under Xvfb).
# Fails quietly where no compiler or Xlib headers are installed.
build_closer() {
  cc -o "$1/close_window" "$SYSTEM_LIB_DIR/close_window.c" -lX11 2>/dev/null
}

# scratch_server <program> <prefix>: checks the tools the session needs, makes
# a scratch server folder $SERVER with the program copied in (the program
# works on the folder it lies in), and removes it, together with a session
# still running, when the script exits.
scratch_server() {
  [ -x "$1" ] || fail "no executable at $1"
  local tool
  for tool in Xvfb xauth xdotool python3; do
    command -v "$tool" >/dev/null || fail "$tool is not installed"
  done
  SERVER=$(mktemp -d "${TMPDIR:-/tmp}/$2-XXXXXX")
  RUNNER_PID=""
  trap end_scratch_server EXIT
  cp "$1" "$SERVER/" || fail "cannot copy the program"
}

end_scratch_server() {
  if [ -n "$RUNNER_PID" ] && kill -0 "$RUNNER_PID" 2>/dev/null; then
    # The session runs in its own process group: end the group it leads
    # (the X server and the program with it).
    kill -TERM -- "-$RUNNER_PID" 2>/dev/null || kill -TERM "$RUNNER_PID" 2>/dev/null
    wait "$RUNNER_PID" 2>/dev/null
  fi
  rm -rf "$SERVER"
}

# run_session <driver script>: runs the driver (given $SERVER as its argument)
# under a private Xvfb, logging to $SERVER/xvfb.log; fails after a minute.
run_session() {
  setsid bash "$SYSTEM_LIB_DIR/../../../scripts/with-xvfb.sh" -s "-screen 0 800x600x24" bash "$1" "$SERVER" > "$SERVER/xvfb.log" 2>&1 &
  RUNNER_PID=$!
  wait_for 600 eval '! kill -0 "$RUNNER_PID"' || fail "the session did not end within a minute"
  wait "$RUNNER_PID"
  RUNNER_PID=""
}
