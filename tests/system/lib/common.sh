# Shared by the real-window tests (sourced, never run on its own). Set NAME
# to the test's name first; it prefixes failure messages.
SYSTEM_LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

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
