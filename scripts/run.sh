#!/usr/bin/env bash
# Sets up and builds the project, then runs the simulator without a window on
# the built-in starting case, with a live status line. Ctrl-C ends the run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
exec build/bin/qxsim run "$@"
