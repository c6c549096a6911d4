#!/bin/bash
# Ruvane as a real process in a real (virtual) display, three scenarios run
# side by side, each with its own X server:
#   run     - left alone, it starts server.exe once, about 38 s after it
#             started, with no arguments, in the server folder (not ours),
#             and is gone about 5 s later while the server runs on;
#   missing - without server.exe only the "Server not found!" box shows, and
#             answering it ends the program;
#   close   - closing the window before the start ends the program at once
#             and starts nothing.
# Usage: bash ruvane_run.sh <bin-dir> <source-dir>
set -u

BIN_DIR=$1
NAME=ruvane_run
. "$(cd "$(dirname "$0")" && pwd)/lib/common.sh"
RUVANE=$BIN_DIR/Ruvane
if [[ ! -x $RUVANE ]]; then
  echo "no Ruvane executable in $BIN_DIR" >&2
  exit 1
fi

WORK=$(mktemp -d "${TMPDIR:-/tmp}/ruvane-run-XXXXXX")
trap 'rm -rf "$WORK"' EXIT

# Prints 1 when lo <= value <= hi (decimals allowed).
within() { awk -v v="$1" -v lo="$2" -v hi="$3" 'BEGIN { print (v >= lo && v <= hi) ? 1 : 0 }'; }
# A server folder with a copy of Ruvane and a server.exe that records when
# and how it was started (appending, so a second start would show).
make_server_folder() {
  local dir=$1
  mkdir -p "$dir"
  cp "$RUVANE" "$dir/Ruvane"
  cat > "$dir/server.exe" <<'EOF'
#!/bin/sh
here=$(dirname "$0")
echo "$(date +%s.%N) argc=$# cwd=$(pwd -P)" >> "$here/started.log"
sleep 30 &
echo $! > "$here/server.pid"
EOF
  chmod +x "$dir/server.exe"
}

# Without a compiler the X connection is cut instead of sending the close
# request, which also ends the program, but without its close handler.
make_closer() { build_closer "$WORK"; }

# --- run: left alone ---------------------------------------------------------
scenario_run() {
  local dir=$WORK/run elsewhere=$WORK/run-cwd
  make_server_folder "$dir"
  mkdir -p "$elsewhere"
  cat > "$WORK/run.inner" <<EOF
cd "$elsewhere"
now() { date +%s.%N; }
t0=\$(now)
"$dir/Ruvane" &
pid=\$!
wid=\$(timeout 15 xdotool search --sync --onlyvisible --name '^Ruvane\$' | head -1)
echo "window=\$wid" > "$dir/result"
for ((i = 0; i < 600; i++)); do kill -0 \$pid 2>/dev/null || break; sleep 0.1; done
t1=\$(now)
if kill -0 \$pid 2>/dev/null; then echo "still_running=1" >> "$dir/result"; kill \$pid; fi
wait \$pid
echo "rc=\$?" >> "$dir/result"
echo "t0=\$t0" >> "$dir/result"
echo "t1=\$t1" >> "$dir/result"
EOF
  bash "$SYSTEM_LIB_DIR/../../../scripts/with-xvfb.sh" bash "$WORK/run.inner" > "$WORK/run.out" 2>&1
}

check_run() {
  local dir=$WORK/run ok=1
  local window still_running rc t0 t1
  # shellcheck disable=SC1090
  source <(grep -E '^(window|still_running|rc|t0|t1)=' "$dir/result")
  if [[ -z ${window:-} ]]; then echo "run: the window never showed"; ok=0; fi
  if [[ -n ${still_running:-} ]]; then echo "run: Ruvane did not end by itself"; ok=0; fi
  if [[ ! -f $dir/started.log ]]; then
    echo "run: server.exe was never started"
    return 1
  fi
  local starts
  starts=$(wc -l < "$dir/started.log")
  if [[ $starts -ne 1 ]]; then echo "run: server.exe started $starts times"; ok=0; fi
  local line ts delay tail
  line=$(head -1 "$dir/started.log")
  ts=${line%% *}
  delay=$(awk -v a="$ts" -v b="$t0" 'BEGIN { printf "%.2f", a - b }')
  tail=$(awk -v a="$t1" -v b="$ts" 'BEGIN { printf "%.2f", a - b }')
  echo "run: server.exe started ${delay}s after Ruvane, which ended ${tail}s later (rc=${rc:-?})"
  if [[ $(within "$delay" 36 45) != 1 ]]; then echo "run: start not about 38 s after launch"; ok=0; fi
  if [[ $(within "$tail" 4 8) != 1 ]]; then echo "run: end not about 5 s after the start"; ok=0; fi
  if [[ $line != *" argc=0 "* ]]; then echo "run: arguments were passed: $line"; ok=0; fi
  if [[ $line != *" cwd=$(cd "$dir" && pwd -P)" ]]; then
    echo "run: server did not start in the server folder: $line"; ok=0
  fi
  # The server outlives Ruvane.
  local spid
  spid=$(cat "$dir/server.pid" 2>/dev/null)
  if [[ -z $spid ]] || ! kill -0 "$spid" 2>/dev/null; then
    echo "run: the server did not outlive Ruvane"; ok=0
  fi
  [[ -n $spid ]] && kill "$spid" 2>/dev/null
  ((ok))
}

# --- missing: no server.exe -------------------------------------------------
scenario_missing() {
  local dir=$WORK/missing
  mkdir -p "$dir"
  cp "$RUVANE" "$dir/Ruvane"
  cat > "$WORK/missing.inner" <<EOF
cd "$dir"
"$dir/Ruvane" &
pid=\$!
box=\$(timeout 15 xdotool search --sync --onlyvisible --name '^Server not found!\$' | head -1)
echo "box=\$box" > "$dir/result"
main=\$(xdotool search --onlyvisible --name '^Ruvane\$' | head -1)
echo "main=\$main" >> "$dir/result"
if [[ -n \$box ]]; then
  xdotool windowfocus --sync "\$box" 2>/dev/null
  xdotool key --clearmodifiers Return
fi
for ((i = 0; i < 100; i++)); do kill -0 \$pid 2>/dev/null || break; sleep 0.1; done
if kill -0 \$pid 2>/dev/null; then echo "still_running=1" >> "$dir/result"; kill \$pid; fi
wait \$pid
echo "rc=\$?" >> "$dir/result"
EOF
  bash "$SYSTEM_LIB_DIR/../../../scripts/with-xvfb.sh" bash "$WORK/missing.inner" > "$WORK/missing.out" 2>&1
}

check_missing() {
  local dir=$WORK/missing ok=1
  local box main still_running rc
  # shellcheck disable=SC1090
  source <(grep -E '^(box|main|still_running|rc)=' "$dir/result")
  if [[ -z ${box:-} ]]; then echo "missing: no \"Server not found!\" box"; ok=0; fi
  if [[ -n ${main:-} ]]; then echo "missing: the main window was shown"; ok=0; fi
  if [[ -n ${still_running:-} ]]; then echo "missing: Ruvane did not end after the box"; ok=0; fi
  if [[ ${rc:-0} == 0 ]]; then echo "missing: Ruvane ended with status 0, as after a restart"; ok=0; fi
  echo "missing: box ${box:-none}, exit code ${rc:-?}"
  ((ok))
}

# --- close: closed before the start -----------------------------------------
scenario_close() {
  local dir=$WORK/close
  make_server_folder "$dir"
  cat > "$WORK/close.inner" <<EOF
cd "$dir"
"$dir/Ruvane" &
pid=\$!
wid=\$(timeout 15 xdotool search --sync --onlyvisible --name '^Ruvane\$' | head -1)
echo "window=\$wid" > "$dir/result"
sleep 2
if [[ -x "$WORK/close_window" ]]; then
  "$WORK/close_window" "\$wid"
else
  xdotool windowkill "\$wid"
fi
for ((i = 0; i < 50; i++)); do kill -0 \$pid 2>/dev/null || break; sleep 0.1; done
if kill -0 \$pid 2>/dev/null; then echo "still_running=1" >> "$dir/result"; kill \$pid; fi
wait \$pid
echo "rc=\$?" >> "$dir/result"
EOF
  bash "$SYSTEM_LIB_DIR/../../../scripts/with-xvfb.sh" bash "$WORK/close.inner" > "$WORK/close.out" 2>&1
}

check_close() {
  local dir=$WORK/close ok=1
  local window still_running rc
  # shellcheck disable=SC1090
  source <(grep -E '^(window|still_running|rc)=' "$dir/result")
  if [[ -z ${window:-} ]]; then echo "close: the window never showed"; ok=0; fi
  if [[ -n ${still_running:-} ]]; then echo "close: Ruvane did not end when closed"; ok=0; fi
  echo "close: closed, exit code ${rc:-?}"
  ((ok))
}

make_closer
scenario_run &
run_pid=$!
scenario_missing &
missing_pid=$!
scenario_close &
close_pid=$!
wait $missing_pid $close_pid

status=0
check_missing || status=1
check_close || status=1

wait $run_pid
# By now the closed Ruvane would long have started its server, had it lived on.
if [[ -f $WORK/close/started.log ]]; then
  echo "close: server.exe was started after the window closed"
  status=1
  kill "$(cat "$WORK/close/server.pid" 2>/dev/null)" 2>/dev/null
fi
check_run || status=1

for f in run missing close; do
  if ((status)) && [[ -s $WORK/$f.out ]]; then
    echo "--- $f output:"
    cat "$WORK/$f.out"
  fi
done
exit $status
