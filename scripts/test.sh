#!/usr/bin/env bash
# Sets up and builds the project, then runs every test: the unit and
# integration tests (ctest) and a short, bounded run of every fuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

# The OPC peer tests drive the server with node-opcua from the npm registry.
# It is installed from the lock file, again only when the lock file changed.
peer=tests/opc/peer
stamp="$peer/node_modules/.package-lock.sha256"
if ! sha256sum --status -c "$stamp" 2>/dev/null; then
  (cd "$peer" && npm ci --no-audit --no-fund --loglevel=error)
  sha256sum "$peer/package-lock.json" >"$stamp"
fi

ctest --test-dir build --output-on-failure -j2

# Under the thread sanitizer: OPC client writes against a running loop, a
# writer recording history while HistoryRead reads it, and the window with
# client writes and the master link during a run and a close while writes
# arrive. Only those tests and what they link are built. Qt is
# not instrumented; scripts/tsan-qt.supp names the Qt internals whose
# synchronisation the sanitizer cannot see.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQX_SANITIZE=thread \
  -DQX_BUILD_BENCHMARKS=OFF -DQX_BUILD_WINDOW=ON >/dev/null
cmake --build build-tsan -j2 --target opc_race_tests opcua_race_tests window_race_tests
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/scripts/tsan-qt.supp"
build-tsan/bin/opc_race_tests
build-tsan/bin/opcua_race_tests
QT_QPA_PLATFORM=offscreen build-tsan/bin/window_race_tests
scripts/fuzz.sh
