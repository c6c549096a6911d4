#!/usr/bin/env bash
# One command: install what is missing, build, and open the converter in a
# scratch copy of the bundled sample server folder (the bundled copy stays
# clean). Without a display it runs under Xvfb and says so.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"
build="${BUILD_DIR:-$root/build}"
work="$(mktemp -d "${TMPDIR:-/tmp}/sample-server-XXXXXX")"
cp -a "$root/sample/server/." "$work/"
cp "$build/bin/Vostrel" "$work/"
echo "Sample server folder: $work"
cd "$work"
if [ -n "${DISPLAY:-}" ]; then
  exec ./Vostrel
fi
echo "No display found: running Vostrel under Xvfb (a virtual screen). Close it with Ctrl+C,"
echo "or look at it with: DISPLAY=<shown below> xwd -root | convert xwd:- shot.png"
exec bash "$root/scripts/with-xvfb.sh" sh -c 'echo "DISPLAY=$DISPLAY"; exec ./Vostrel'
