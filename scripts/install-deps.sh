#!/usr/bin/env bash
# Installs the Debian packages TALVERN needs to build, test and run.
# Only what is missing is installed; nothing happens when all is present.
# Packages given as arguments are wanted as well (scripts/fuzz.sh adds clang).
set -euo pipefail

packages=(cmake ninja-build g++ qt6-base-dev qt6-svg-dev libpng-dev zlib1g-dev libfreetype-dev libbrotli-dev libgtest-dev libbenchmark-dev libgsl-dev libarchive-dev libxrl-dev fonts-dejavu-core xvfb xauth python3-dev python3-pybind11 python3-numpy python3-pytest python3-matplotlib "$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
