#!/usr/bin/env bash
# Installs the Debian packages the tools and their tests need (Debian 12).
# dpkg-dev and file: `cpack -G DEB` computes the package's dependencies with them.
# lintian, desktop-file-utils, bash-completion, man-db, systemd: the package's
# checks (scripts/check-package.sh) and the test of Ruvane's unit.
set -euo pipefail
packages=(build-essential cmake ninja-build qt6-base-dev libgtest-dev
          xvfb xauth xdotool x11-utils libx11-dev python3 dpkg-dev file
          lintian desktop-file-utils bash-completion man-db systemd)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
