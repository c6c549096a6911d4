#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a given time.
#
#   fuzz/run.sh <seconds-per-target> [jobs]
#
# Each target runs on a scratch copy of its corpus plus the committed seeds
# in fuzz/corpus/<target>/ (which it never writes to: new interesting inputs
# are not committed automatically). `jobs` targets run at once (default 2),
# each on one process. Exits non-zero when any target finds something and
# prints the path of every crash input; they stay in <build>/findings/.
# Environment: FUZZ_BUILD_DIR (default build-fuzz); FUZZ_KEEP_CORPUS=1 keeps
# the grown corpora in <build>/corpus/ between runs; FUZZ_SKIP_BUILD=1 runs
# the targets already built.
set -euo pipefail

if [ $# -lt 1 ] || ! [[ $1 =~ ^[0-9]+$ ]]; then
  echo "usage: $0 <seconds-per-target> [jobs]" >&2
  exit 2
fi
seconds=$1
jobs=${2:-2}
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
targets=(profile paths numeric maps fill)

if [ "${FUZZ_SKIP_BUILD:-0}" != 1 ]; then
  generator=()
  if command -v ninja >/dev/null; then generator=(-G Ninja); fi
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$here" -B "$build" "${generator[@]}" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
  fi
  cmake --build "$build" -j2
fi

# The targets' scratch folders go to memory where possible: the profile
# target flushes every file it writes.
scratch_base=/tmp
if [ -d /dev/shm ] && [ -w /dev/shm ]; then scratch_base=/dev/shm; fi
scratch=$(mktemp -d "$scratch_base/tools-fuzz-run.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

findings=$build/findings
mkdir -p "$findings"

run_target() {
  local t=$1
  local corpus=$scratch/$t/corpus
  if [ "${FUZZ_KEEP_CORPUS:-0}" = 1 ]; then corpus=$build/corpus/$t; fi
  rm -rf "$findings/$t"  # only this run's findings are reported
  mkdir -p "$corpus" "$scratch/$t/tmp" "$findings/$t"
  TMPDIR=$scratch/$t/tmp "$build/bin/fuzz_$t" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$findings/$t/" "$corpus" "$here/corpus/$t" >"$findings/$t.log" 2>&1
}

declare -A pids
status=0
report() {
  local t=$1 rc=$2
  local runs
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$findings/$t.log" | grep -o '[0-9]*$' || true)
  if [ "$rc" -eq 0 ]; then
    echo "fuzz_$t: ${runs:-?} runs in ${seconds}s, nothing found"
  else
    status=1
    echo "fuzz_$t: FAILED (exit $rc); log: $findings/$t.log"
    grep -E 'invariant broken|ERROR: (AddressSanitizer|UndefinedBehavior|libFuzzer)|runtime error' \
      "$findings/$t.log" | head -n 5 || true
    grep -h -A1 'invariant broken' "$findings/$t.log" | tail -n 1 | cut -c1-400 || true
    for f in "$findings/$t"/crash-* "$findings/$t"/timeout-* "$findings/$t"/leak-* "$findings/$t"/oom-*; do
      if [ -e "$f" ]; then echo "  input: $f"; fi
    done
  fi
}

running=()
for t in "${targets[@]}"; do
  while [ "${#running[@]}" -ge "$jobs" ]; do
    first=${running[0]}
    running=("${running[@]:1}")
    rc=0
    wait "${pids[$first]}" || rc=$?
    report "$first" "$rc"
  done
  run_target "$t" &
  pids[$t]=$!
  running+=("$t")
done
for t in "${running[@]}"; do
  rc=0
  wait "${pids[$t]}" || rc=$?
  report "$t" "$rc"
done
exit $status
