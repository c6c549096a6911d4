#!/usr/bin/env bash
# The installed programs' windows, opened as from the desktop entries under a
# private Xvfb with the toolkit's own X11 plugin: each window comes up, shows
# something (a picture of it holds more than a few colours) and carries its
# icon. Every file the open windows have mapped (libraries, plugins, fonts)
# must come from a package that installing the .deb with
# --no-install-recommends on a system of only the essential packages brings
# in, as apt computes it: so the windows open on such a system too.
#
#   DEB=server-tools_..._amd64.deb SOURCE_DIR=<repository> scripts/package-windows.sh
#
# Run by scripts/package-smoke.sh after the package is installed. Pictures
# are left in $SHOTS when it is set.
set -euo pipefail
: "${SOURCE_DIR:?}" "${DEB:?}"
say() { echo "package-windows: [${SECONDS}s] $*"; }
fail() {
  echo "package-windows: FAILED: $*" >&2
  exit 1
}
for tool in Xvfb xauth xdotool xprop cc apt-get dpkg-query; do
  command -v "$tool" >/dev/null || fail "$tool is not installed"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/package-windows-XXXXXX")
trap 'rm -rf "$work"' EXIT
shots=${SHOTS:-$work}
cc -o "$work/window_shot" "$SOURCE_DIR/tests/system/lib/window_shot.c" -lX11 ||
  fail "cannot build the picture taker (build-essential and libx11-dev)"
cp -a "$SOURCE_DIR/sample/server" "$work/server"
# Ruvane's window needs a server.exe to show more than its "not found" box;
# it is closed long before it would start it.
mkdir "$work/restart"
printf '#!/bin/sh\nexit 0\n' >"$work/restart/server.exe"
chmod +x "$work/restart/server.exe"

# program|window title|server folder
cat >"$work/windows" <<LIST
Vostrel|Drask Conversion Software|$work/server
Calmet|Nolvaria Calmet|$work/server
Ruvane|Ruvane|$work/restart
LIST

cat >"$work/session.sh" <<'SESSION'
set -u
work=$1
while IFS='|' read -r program title dir; do
  env -u QT_QPA_PLATFORM "/usr/bin/$program" --server-dir "$dir" >"$work/$program.log" 2>&1 &
  pid=$!
  wid=$(timeout 20 xdotool search --sync --onlyvisible --name "^$title\$" | head -n 1)
  if [ -n "$wid" ]; then
    sleep 1  # the first paint
    "$work/window_shot" "$wid" "$work/$program.ppm" >"$work/$program.shot" || true
    xprop -id "$wid" _NET_WM_ICON | head -c 200 >"$work/$program.icon" || true
  fi
  grep -o '/[^ ]*$' "/proc/$pid/maps" | sort -u >"$work/$program.maps" || true
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
done <"$work/windows"
SESSION
say "opening the windows under Xvfb"
bash "$SOURCE_DIR/scripts/with-xvfb.sh" bash "$work/session.sh" "$work" >"$work/xvfb.log" 2>&1 ||
  true

status=0
while IFS='|' read -r program title dir; do
  if [ ! -s "$work/$program.shot" ]; then
    echo "package-windows: $program: no window \"$title\" (its output:)" >&2
    cat "$work/$program.log" "$work/xvfb.log" >&2
    status=1
    continue
  fi
  read -r width height colours <"$work/$program.shot"
  say "$program: window \"$title\" ${width}x$height, $colours colours"
  [ "$colours" -ge 8 ] || { echo "package-windows: $program: the window is blank" >&2; status=1; }
  grep -q '_NET_WM_ICON(CARDINAL) =' "$work/$program.icon" ||
    { echo "package-windows: $program: the window has no icon" >&2; status=1; }
  grep -q '/platforms/libqxcb\.so$' "$work/$program.maps" ||
    { echo "package-windows: $program: not opened through the X11 plugin" >&2; status=1; }
  [ "$shots" = "$work" ] || cp "$work/$program.ppm" "$shots/"
done <"$work/windows"
[ "$status" -eq 0 ] || fail "not every window opened as it should"

# What an install with no recommended packages brings to a system of only
# the essential packages (nothing installed, as apt sees it).
say "computing what --no-install-recommends installs on a bare system"
: >"$work/status"
essential=$(dpkg-query -W -f='${Essential} ${Package}\n' | awk '$1 == "yes" { print $2 }')
# shellcheck disable=SC2086
apt-get -s -q --no-install-recommends -o Dir::State::status="$work/status" \
  install $essential "$(realpath "$DEB")" >"$work/simulation" 2>&1 ||
  { cat "$work/simulation" >&2; fail "apt cannot install the package on a bare system"; }
awk '/^Inst / { print $2 }' "$work/simulation" | sort -u >"$work/closure"
say "$(wc -l <"$work/closure") packages in all"

# Who owns each file the windows mapped (/usr/lib may be known to dpkg as
# /lib), asked in one go: "<package> <file>", "(no package) <file>".
sort -u "$work"/*.maps | grep -v -E '^/(dev|proc|run|tmp|memfd:|SYSV)|^/var/cache/' >"$work/mapped"
# shellcheck disable=SC2046
{ dpkg-query -S $(sed 'p; s|^/usr/|/|' "$work/mapped" | sort -u) 2>/dev/null || true; } |
  grep -v '^diversion by' | sed -E 's/^([^:, ]+)(:[a-z0-9]+)?(, [^:]+)?: /\1 /' >"$work/dpkg"
awk 'NR == FNR { owner[substr($0, length($1) + 2)] = $1; next }
     { file = $0; alt = file; sub(/^\/usr\//, "/", alt)
       o = (file in owner) ? owner[file] : (alt in owner) ? owner[alt] : "(no package)"
       print o, file }' "$work/dpkg" "$work/mapped" >"$work/owners"
# The X11 plugin looks for the cursor theme library by name when it starts and
# goes on without it: that library (and libXrender, which it needs) is used
# where it is installed, and need not be.
optional="libxcursor1 libxrender1"
outside=$(awk -v optional="$optional" '
  BEGIN { n = split(optional, o, " "); for (i = 1; i <= n; i++) skip[o[i]] = 1 }
  NR == FNR { ok[$1] = 1; next }
  $1 != "(no" && !($1 in ok) && !($1 in skip)' "$work/closure" "$work/owners")
if [ -n "$outside" ]; then
  echo "$outside" >&2
  fail "the windows use files of packages that an install without recommendations leaves out"
fi
say "OK: $(wc -l <"$work/mapped") files mapped by the windows, all from $(cut -d' ' -f1 "$work/owners" | sort -u | grep -vc '^(no') packages of that install"
