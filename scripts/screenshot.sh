#!/usr/bin/env bash
# Takes the README's picture of the main window: builds the screenshot
# program in ./build (set up by scripts/setup.sh when there is none yet),
# runs the starting case in the window offscreen and writes
# docs/QxOPCServer.png.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/CMakeCache.txt ] || scripts/setup.sh
cmake --build build -j2 --target qx_window_screenshot
mkdir -p docs
QT_QPA_PLATFORM=offscreen build/bin/qx_window_screenshot docs/QxOPCServer.png
echo "screenshot: docs/QxOPCServer.png"
