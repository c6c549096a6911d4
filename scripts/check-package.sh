#!/usr/bin/env bash
# Builds the Debian package in a build folder and checks it the way a user
# would meet it: installed with apt, the programs in /usr/bin with every
# library found, then an optional smoke command. The package is removed again
# however the run ends.
#
#   scripts/check-package.sh [build-folder]        (default: build/)
#   SMOKE='Vostrel --help' scripts/check-package.sh
#
# SMOKE is a bash snippet run with no display (DISPLAY and WAYLAND_DISPLAY
# unset), /usr/bin first on PATH, in an empty scratch folder that is its
# working directory, and with SOURCE_DIR set to the repository, so that it can
# copy the sample server: cp -a "$SOURCE_DIR/sample/server" srv.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
programs=(Vostrel Calmet Ruvane)

say() { echo "check-package: $*"; }
fail() {
  echo "check-package: FAILED: $*" >&2
  exit 1
}

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
# Waits for another apt or dpkg run on the machine instead of failing at once.
apt_get() {
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 "$@"
}

[ -f "$build/CPackConfig.cmake" ] ||
  fail "$build is not a configured build folder (run scripts/build.sh first)"
build="$(cd "$build" && pwd)"

# cpack packages whatever is in the build folder; bring the programs up to date
# first so that a stale build cannot be checked by mistake.
say "building ${programs[*]} in $build"
cmake --build "$build" -j"$(nproc)" --target "${programs[@]}"

say "running cpack -G DEB in $build"
cpack_log="$(cd "$build" && cpack -G DEB)" || {
  echo "$cpack_log"
  fail "cpack -G DEB"
}
echo "$cpack_log"
deb="$(sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' <<<"$cpack_log")"
if [ -z "$deb" ] || [ "$(wc -l <<<"$deb")" -ne 1 ] || [ ! -f "$deb" ]; then
  fail "cannot tell which .deb cpack made"
fi
name="$(dpkg-deb -f "$deb" Package)"
say "package $(basename "$deb"), $(stat -c %s "$deb") bytes, name $name"

scratch=""
cleanup() {
  local rc=$?
  set +e
  [ -n "$scratch" ] && rm -rf "$scratch"
  say "removing $name: apt-get remove -y $name"
  if ! apt_get remove -y "$name"; then
    echo "check-package: FAILED: apt-get remove -y $name" >&2
    rc=1
  elif dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q ' installed$'; then
    echo "check-package: FAILED: $name is still installed after apt-get remove" >&2
    rc=1
  else
    say "$name removed"
  fi
  if [ "$rc" -eq 0 ]; then
    say "OK: $(basename "$deb") installs, its programs find their libraries, and it removes cleanly"
  else
    echo "check-package: FAILED (exit status $rc)" >&2
  fi
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# What the package holds, before anything is installed: the three programs and
# their folders, nothing else.
files="$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $NF }' | sort)"
expected="$(printf './usr/bin/%s\n' "${programs[@]}" | sort)"
if [ "$files" != "$expected" ]; then
  printf 'the package holds:\n%s\ninstead of:\n%s\n' "$files" "$expected" >&2
  fail "the package holds other files than the three programs"
fi
say "contents: $(tr '\n' ' ' <<<"$files")"
depends="$(dpkg-deb -f "$deb" Depends)"
say "Depends: $depends"
grep -q 'libqt6widgets6' <<<"$depends" ||
  fail "the package does not depend on the Qt 6 widgets library (were its dependencies computed?)"

# Installing the same version again would be skipped by apt and leave an older
# build in place: remove a copy left by an earlier run first.
if dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q ' installed$'; then
  say "$name is already installed (left by an earlier run?): removing it first"
  apt_get remove -y "$name"
fi

# A fresh machine may have no package lists yet; without a network the lists
# already there may still do, as the libraries are often installed.
say "apt-get update"
apt_get update -q || say "apt-get update failed: going on with the package lists there are"
say "installing: apt-get install -y $deb"
apt_get install -y "$deb"

for p in "${programs[@]}"; do
  if [ ! -f "/usr/bin/$p" ] || [ ! -x "/usr/bin/$p" ]; then
    fail "/usr/bin/$p is missing or not executable"
  fi
  owner="$(dpkg-query -S "/usr/bin/$p" 2>/dev/null | cut -d: -f1)"
  [ "$owner" = "$name" ] || fail "/usr/bin/$p does not belong to $name (dpkg says: ${owner:-nothing})"
  libs="$(ldd "/usr/bin/$p")" || fail "ldd /usr/bin/$p"
  if grep -q 'not found' <<<"$libs"; then
    grep 'not found' <<<"$libs" >&2
    fail "/usr/bin/$p: libraries not found"
  fi
  say "/usr/bin/$p: executable, $(grep -c '=>' <<<"$libs") libraries all found"
done

if [ -n "${SMOKE:-}" ]; then
  scratch="$(mktemp -d "${TMPDIR:-/tmp}/check-package-XXXXXX")"
  say "smoke command (no display, in $scratch): $SMOKE"
  (cd "$scratch" &&
    env -u DISPLAY -u WAYLAND_DISPLAY PATH="/usr/bin:/bin:$PATH" SOURCE_DIR="$root" \
      bash -c "$SMOKE") || fail "smoke command exited with status $?"
  say "smoke command passed"
else
  say "no smoke command (SMOKE is unset)"
fi
