#!/usr/bin/env bash
# The smoke run of the installed package (scripts/check-package.sh runs it as
# SMOKE, with no display, in an empty scratch folder, SOURCE_DIR and DEB set):
# the installed programs answer --help and --version, and each command runs
# with no display: the installed Vostrel converts a scratch copy of the
# sample server through --server-dir, writing the same files as the build's
# own copy does; the installed Calmet lists its accounts; the installed
# Ruvane refuses a folder without server.exe and prints a unit that
# systemd-analyze accepts. Then the windows (scripts/package-windows.sh).
set -euo pipefail
build="${BUILD_DIR:-$SOURCE_DIR/build}"
for p in Vostrel Calmet Ruvane; do
  [ "$(command -v "$p")" = "/usr/bin/$p" ] || { echo "smoke: $p is not the installed copy" >&2; exit 1; }
  "$p" --help >/dev/null
  [ "$("$p" --version)" = "$p $(dpkg-deb -f "$DEB" Version)" ] ||
    { echo "smoke: $p --version does not print the package's version" >&2; exit 1; }
done
Vostrel --help | grep -q 'Exit status'

cp -a "$SOURCE_DIR/sample/server" installed
cp -a "$SOURCE_DIR/sample/server" built
status=0
Vostrel convert all --server-dir installed --quiet 2>installed.err || status=$?
# The sample holds records that do not fit their fields: done, with skips.
if [ "$status" -ne 3 ]; then
  cat installed.err >&2
  echo "smoke: the installed Vostrel ended with $status, not 3" >&2
  exit 1
fi
status=0
"$build/bin/Vostrel" convert all --server-dir built --quiet 2>/dev/null || status=$?
[ "$status" -eq 3 ] || { echo "smoke: the built Vostrel ended with $status" >&2; exit 1; }
# Each run keeps its own journal of the jobs (their times differ): one line
# a job, six jobs.
for copy in installed built; do
  [ "$(wc -l <"$copy/server-tools.journal")" -eq 6 ] ||
    { echo "smoke: $copy/server-tools.journal does not hold the six jobs" >&2; exit 1; }
done
diff -r -x server-tools.journal installed built >/dev/null ||
  { echo "smoke: the installed and built conversions differ" >&2; exit 1; }
# The installed Calmet lists the copy's accounts for a script.
Calmet list --json --server-dir installed |
  python3 -c 'import json, sys; assert json.load(sys.stdin)["accounts"], "no accounts listed"'
echo "smoke: installed Vostrel converted $(find installed -type f | wc -l) files, as the build does"

# Ruvane with no display: a folder without server.exe fails at once; a unit
# for one with a server.exe passes the init system's own check.
mkdir restart
status=0
Ruvane --no-window --server-dir restart 2>ruvane.err || status=$?
if [ "$status" -ne 1 ] || ! grep -q 'Server not found!' ruvane.err; then
  cat ruvane.err >&2
  echo "smoke: Ruvane --no-window without server.exe ended with $status" >&2
  exit 1
fi
printf '#!/bin/sh\nexit 0\n' >restart/server.exe
chmod +x restart/server.exe
Ruvane --systemd-unit --user root --server-dir restart >game-server.service
verify="$(systemd-analyze verify "$PWD/game-server.service" 2>&1)" || {
  echo "$verify" >&2
  echo "smoke: systemd-analyze verify failed on Ruvane's unit" >&2
  exit 1
}
[ -z "$verify" ] || { echo "smoke: systemd-analyze verify: $verify" >&2; exit 1; }
echo "smoke: installed Ruvane refuses a folder without server.exe; its unit verifies"

bash "$SOURCE_DIR/scripts/package-windows.sh"
