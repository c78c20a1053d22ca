#!/usr/bin/env bash
# Sets up and builds the project, then runs the built-in starting case: in
# the window where a display exists, otherwise without a window (qxsim,
# serving OPC UA, with a live status line; Ctrl-C ends it). Arguments go to
# the program: a case file for the window, qxsim's run options otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  if (($#)); then exec build/bin/QxOPCServer "$@"; fi
  exec build/bin/QxOPCServer build/bin/TravekEX2.pid
fi
echo "run: no display found; running the starting case without a window (qxsim run --serve)" >&2
exec build/bin/qxsim run --serve "$@"
