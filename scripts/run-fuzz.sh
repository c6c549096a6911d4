#!/usr/bin/env bash
# Runs the fuzz targets: scripts/run-fuzz.sh <seconds-per-target> [jobs].
# Installs clang and its fuzzing runtime first when they are missing.
set -euo pipefail
packages=(clang libclang-rt-14-dev cmake ninja-build)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
exec "$(cd "$(dirname "$0")/.." && pwd)/fuzz/run.sh" "$@"
