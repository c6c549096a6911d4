#!/usr/bin/env bash
# One command: install what is missing, build, and run the whole test suite.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" "$@"
build="${BUILD_DIR:-$root/build}"
# Only read by a sanitizer build (-DTOOLS_SANITIZE=ON).
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# Most tests spend their time waiting (timers, quiet periods, child
# processes), so twice as many run at once as there are processors.
ctest --test-dir "$build" --output-on-failure -j"$(( $(nproc) * 2 ))" --timeout 600
