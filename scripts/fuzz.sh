#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour
# sanitizers) and runs each for a bounded time on its seed corpus.
#
# usage: scripts/fuzz.sh [--long SECONDS]
#   Each fuzzer runs FUZZ_SECONDS seconds (30 when unset), the bound the
#   test run uses. --long SECONDS runs each for SECONDS instead, for a long
#   search outside the test run; the corpus in build-fuzz grows across runs.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-30}"
case "${1:-}" in
  "") ;;
  --long)
    if [[ ! "${2:-}" =~ ^[1-9][0-9]*$ ]]; then
      echo "fuzz: --long expects a whole number of seconds > 0, got '${2:-}'" >&2
      exit 2
    fi
    seconds="$2"
    ;;
  *)
    echo "usage: scripts/fuzz.sh [--long SECONDS]" >&2
    exit 2
    ;;
esac

cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DQX_BUILD_FUZZERS=ON -DQX_BUILD_TESTS=OFF -DQX_BUILD_BENCHMARKS=OFF -DQX_BUILD_WINDOW=OFF >/dev/null
mapfile -t targets < <(cmake --build build-fuzz --target help | sed -n 's/^\.\.\. \(fuzz_[a-z_]*\).*/\1/p')
if ((${#targets[@]} == 0)); then
  echo "fuzz: no fuzz targets"
  exit 0
fi
cmake --build build-fuzz -j2 --target "${targets[@]}"

passed=0
for t in "${targets[@]}"; do
  # Seeds live beside the fuzzer's CMakeLists.txt: in corpus-<fuzzer> when
  # the fuzzer has a folder of its own, else in corpus.
  corpus_seed=""
  listing=$(grep -l -w "$t" ./*/fuzz/CMakeLists.txt | head -n 1 || true)
  for seeds in "corpus-$t" corpus; do
    [ -n "$listing" ] && [ -z "$corpus_seed" ] && [ -d "$(dirname "$listing")/$seeds" ] &&
      corpus_seed="$(dirname "$listing")/$seeds"
  done
  work="build-fuzz/corpus-$t"
  mkdir -p "$work"
  echo "fuzz: $t for ${seconds}s (seeds: ${corpus_seed:-none})"
  "build-fuzz/bin/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=0 "$work" ${corpus_seed:+"$corpus_seed"} 2>"build-fuzz/$t.log" || {
    tail -n 40 "build-fuzz/$t.log"
    echo "fuzz: $t found a failure"
    exit 1
  }
  passed=$((passed + 1))
done
echo "fuzz: $passed passed, 0 failed"
