#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need, when missing.
# Runs apt-get directly as root, through sudo otherwise. Packages named as arguments are
# installed instead of that list (scripts/test-windows.sh names its own).
set -euo pipefail

packages=(build-essential cmake ninja-build pkg-config
          qt6-base-dev qt6-qpa-plugins libarmadillo-dev libsqlite3-dev
          qt6-charts-dev libqt6opengl6-dev
          libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth
          tzdata locales-all fonts-dejavu-core)
[ $# -gt 0 ] && packages=("$@")

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
