#!/usr/bin/env bash
# Installs the package into a fresh Debian 12 root file system that holds
# only what `mmdebstrap --variant=apt` puts there, with
# `apt-get install --no-install-recommends`, and uses it there as on a new
# server: each command with no display, each window on an X server of the
# host (a picture of it not blank). Takes a few minutes and downloads about
# 150 MB, so CI checks the same with apt's own computation instead
# (scripts/package-windows.sh); run this by hand, as root:
#
#   scripts/check-clean-install.sh build/server-tools_0.1.0_amd64.deb
set -euo pipefail
root_dir="$(cd "$(dirname "$0")/.." && pwd)"
deb="$(realpath "${1:?usage: $0 <package.deb>}")"
say() { echo "check-clean-install: [${SECONDS}s] $*"; }
fail() {
  echo "check-clean-install: FAILED: $*" >&2
  exit 1
}
[ "$(id -u)" -eq 0 ] || fail "run it as root (it makes a root file system and mounts into it)"
for p in mmdebstrap xvfb xdotool; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$p" >/dev/null
done

work="$(mktemp -d "${TMPDIR:-/tmp}/clean-install-XXXXXX")"
fs="$work/root"
xvfb_pid=""
cleanup() {
  set +e
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  for m in tmp/.X11-unix dev proc; do mountpoint -q "$fs/$m" && umount -l "$fs/$m"; done
  rm -rf "$work"
}
trap cleanup EXIT

say "making a bare Debian 12 root file system"
mmdebstrap --variant=apt --mode=root --quiet \
  --dpkgopt='path-exclude=/usr/share/doc/*' --dpkgopt='path-exclude=/usr/share/locale/*' \
  bookworm "$fs" >"$work/mmdebstrap.log" 2>&1 || { cat "$work/mmdebstrap.log" >&2; fail mmdebstrap; }
mount --bind /proc "$fs/proc"
mount --bind /dev "$fs/dev"
mkdir -p "$fs/tmp/.X11-unix"
mount --bind /tmp/.X11-unix "$fs/tmp/.X11-unix"
in_root() { chroot "$fs" env -i PATH=/usr/bin:/bin HOME=/root LANG=C.UTF-8 "$@"; }

cp "$deb" "$fs/tmp/server-tools.deb"
# mmdebstrap leaves no package lists behind.
in_root apt-get update -q >"$work/update.log" 2>&1 || { cat "$work/update.log" >&2; fail "apt-get update"; }
say "apt-get install --no-install-recommends $(basename "$deb")"
in_root apt-get install -y -q --no-install-recommends /tmp/server-tools.deb >"$work/install.log" 2>&1 ||
  { cat "$work/install.log" >&2; fail "the package does not install"; }
say "$(in_root dpkg-query -W -f='.\n' | wc -l) packages installed there in all"

cp -a "$root_dir/sample/server" "$fs/tmp/server"
mkdir "$fs/tmp/restart"
printf '#!/bin/sh\nexit 0\n' >"$fs/tmp/restart/server.exe"
chmod +x "$fs/tmp/restart/server.exe"

# The commands, with no display.
status=0
in_root Vostrel convert all --server-dir /tmp/server --quiet || status=$?
[ "$status" -eq 3 ] || fail "Vostrel convert all ended with $status, not 3 (the sample skips records)"
in_root Calmet list --server-dir /tmp/server >/dev/null || fail "Calmet list"
in_root Ruvane --systemd-unit --user root --server-dir /tmp/restart >/dev/null || fail "Ruvane --systemd-unit"
for p in Vostrel Calmet Ruvane; do in_root "$p" --version >/dev/null || fail "$p --version"; done
say "the commands run with no display"

# The windows, on an X server of the host.
cc -o "$work/window_shot" "$root_dir/tests/system/lib/window_shot.c" -lX11
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
sleep 1
for entry in "Vostrel|Drask Conversion Software|/tmp/server" "Calmet|Nolvaria Calmet|/tmp/server" \
  "Ruvane|Ruvane|/tmp/restart"; do
  IFS='|' read -r program title dir <<<"$entry"
  chroot "$fs" env -i PATH=/usr/bin:/bin HOME=/root LANG=C.UTF-8 DISPLAY="$display" \
    "$program" --server-dir "$dir" >"$work/$program.log" 2>&1 &
  pid=$!
  wid=$(DISPLAY=$display timeout 30 xdotool search --sync --onlyvisible --name "^$title\$" | head -n 1) || true
  shot=""
  if [ -n "$wid" ]; then
    sleep 1
    shot=$(DISPLAY=$display "$work/window_shot" "$wid") || true
  fi
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null || true
  [ -n "$shot" ] || { cat "$work/$program.log" >&2; fail "$program: no window"; }
  read -r width height colours <<<"$shot"
  [ "$colours" -ge 8 ] || fail "$program: the window is blank"
  say "$program: window \"$title\" ${width}x$height, $colours colours"
done
say "OK: installed without recommended packages on a bare system, every command and window works"
