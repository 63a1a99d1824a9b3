#!/usr/bin/env bash
# Installs what is missing, builds TALVERN and starts the program.
# Arguments after ./run.sh are passed on to the program.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target talvern talvern-cli
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found. To run TALVERN without one, start it under a virtual X server:"
  echo "  xvfb-run -a ./run.sh"
  exit 1
fi
exec ./build/talvern "$@"
