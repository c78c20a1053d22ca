#!/usr/bin/env bash
# Sets up and builds the project, then runs every test: the unit and
# integration tests (ctest) and a short, bounded run of every fuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
ctest --test-dir build --output-on-failure -j2
scripts/fuzz.sh
