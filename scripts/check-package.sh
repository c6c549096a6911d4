#!/usr/bin/env bash
# Builds the Debian package in a build folder and checks it the way a
# Debian administrator would meet it: lintian finds no error or warning;
# installed with apt and no recommended packages, the programs are in
# /usr/bin with every library found, and the manual pages render, the desktop
# entries are valid, the icons and the bash completions are where the desktop
# and bash-completion look; then an optional smoke command. The package is
# removed again however the run ends.
#
#   scripts/check-package.sh [build-folder]        (default: build/)
#   SMOKE='Vostrel --help' scripts/check-package.sh
#
# SMOKE is a bash snippet run with no display (DISPLAY and WAYLAND_DISPLAY
# unset), /usr/bin first on PATH, in an empty scratch folder that is its
# working directory, with SOURCE_DIR set to the repository, so that it can
# copy the sample server: cp -a "$SOURCE_DIR/sample/server" srv, and DEB to
# the package file.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
programs=(Vostrel Calmet Ruvane)
icons=(vostrel calmet ruvane)

say() { echo "check-package: [${SECONDS}s] $*"; }
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
cmake --build "$build" -j"$(nproc)" --target "${programs[@]}" package_files

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

# What the package holds, before anything is installed: the three programs,
# their manual pages, completions, desktop entries and icons, the copyright
# file and changelog, and nothing else.
files="$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $NF }' | sort)"
expected="$(
  for p in "${programs[@]}"; do
    echo "./usr/bin/$p"
    echo "./usr/share/man/man1/$p.1.gz"
    echo "./usr/share/bash-completion/completions/$p"
  done
  for i in "${icons[@]}"; do
    echo "./usr/share/applications/$i.desktop"
    echo "./usr/share/icons/hicolor/scalable/apps/$i.svg"
  done
  echo ./usr/share/doc/server-tools/copyright
  echo ./usr/share/doc/server-tools/changelog.gz
)"
expected="$(sort <<<"$expected")"
if [ "$files" != "$expected" ]; then
  diff <(echo "$expected") <(echo "$files") >&2 || true
  fail "the package holds other files than expected (diff: expected, held)"
fi
say "contents: $(wc -l <<<"$files") files, as expected"
depends="$(dpkg-deb -f "$deb" Depends)"
say "Depends: $depends"
grep -q 'libqt6widgets6' <<<"$depends" ||
  fail "the package does not depend on the Qt 6 widgets library (were its dependencies computed?)"
# The X11 platform plugin is loaded at run time; the package holding it must
# be named, or an install without recommendations may open no window.
plugin="$(find /usr/lib -path '*/qt6/plugins/platforms/libqxcb.so' -print -quit)"
[ -n "$plugin" ] || fail "the toolkit's X11 platform plugin is not installed here"
plugin_package="$(dpkg-query -S "$plugin" | cut -d: -f1)"
grep -Eq "(^|, )$plugin_package( |,|$)" <<<"$depends" ||
  fail "the package does not depend on $plugin_package, which holds $plugin"

# lintian: no error and no warning. The information tags it still reports
# are listed, each with its reason, in docs/packaging.md.
if ! command -v lintian >/dev/null; then
  fail "lintian is not installed (scripts/install-deps.sh installs it)"
fi
say "lintian $deb"
lintian_rc=0
lintian --display-info --fail-on error,warning "$deb" || lintian_rc=$?
[ "$lintian_rc" -eq 0 ] || fail "lintian reports errors or warnings (status $lintian_rc)"
say "lintian: no error, no warning"

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
# As on a server: nothing the package only recommends.
say "installing: apt-get install -y --no-install-recommends $deb"
apt_get install -y --no-install-recommends "$deb"

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

# The manual pages render with no complaint from man or groff.
for p in "${programs[@]}"; do
  page="/usr/share/man/man1/$p.1.gz"
  warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)" ||
    fail "man -l $page failed: $warnings"
  [ -z "$warnings" ] || fail "man -l $page: $warnings"
  LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q "^NAME" || fail "man -l $page shows no NAME"
done
say "manual pages: ${programs[*]} render with no warning"
for i in "${icons[@]}"; do
  desktop-file-validate "/usr/share/applications/$i.desktop" ||
    fail "desktop-file-validate /usr/share/applications/$i.desktop"
  icon="$(sed -n 's/^Icon=//p' "/usr/share/applications/$i.desktop")"
  [ -f "/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "$i.desktop: no icon $icon"
done
say "desktop entries valid, icons in the hicolor theme"
# bash-completion loads a command's completion by its name when first asked.
for p in "${programs[@]}"; do
  loaded="$(bash -c 'source /usr/share/bash-completion/bash_completion &&
                     __load_completion "$1" && complete -p "$1"' _ "$p" 2>&1)" ||
    fail "bash-completion does not load a completion for $p: $loaded"
done
say "bash completions load for ${programs[*]}"

if [ -n "${SMOKE:-}" ]; then
  scratch="$(mktemp -d "${TMPDIR:-/tmp}/check-package-XXXXXX")"
  say "smoke command (no display, in $scratch): $SMOKE"
  (cd "$scratch" &&
    env -u DISPLAY -u WAYLAND_DISPLAY PATH="/usr/bin:/bin:$PATH" SOURCE_DIR="$root" DEB="$deb" \
      bash -c "$SMOKE") || fail "smoke command exited with status $?"
  say "smoke command passed"
else
  say "no smoke command (SMOKE is unset)"
fi
