#!/usr/bin/env bash
# Takes the README's picture of the main window: builds the screenshot
# program in the build directory given (./build by default, set up by
# scripts/setup.sh when there is none yet), runs the starting case in the
# window offscreen and writes docs/QxOPCServer.png.
# Usage: scripts/screenshot.sh [BUILD_DIR]   (absolute or in the project folder)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
if [ ! -f "$build/CMakeCache.txt" ]; then
  # setup.sh makes ./build only; any other folder must be configured already.
  [ "$build" = build ] || { echo "screenshot: $build holds no configured build (no CMakeCache.txt)" >&2; exit 1; }
  scripts/setup.sh
fi
cmake --build "$build" -j2 --target qx_window_screenshot
mkdir -p docs
QT_QPA_PLATFORM=offscreen "$build/bin/qx_window_screenshot" docs/QxOPCServer.png
echo "screenshot: docs/QxOPCServer.png"
