#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
# GUI tests need a display; without one the whole run goes under a virtual X server.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD_DIR" -j "$(nproc)"
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$(nproc)"
else
  exec ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$(nproc)"
fi
