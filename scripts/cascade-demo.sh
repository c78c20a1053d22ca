#!/usr/bin/env bash
# Two qxsim processes as a cascade, for about ten seconds: the master serves
# its loop at opc.tcp://127.0.0.1:$PORT (4841 by default), goes to Manual and
# steps its output 40, 45, 55, 35; the slave follows it with --master. Then
# prints the master's output changes and the slave's SPNew changes, by step.
# QXSIM names the qxsim to run (default: build/bin/qxsim; scripts/setup.sh
# builds it).
set -euo pipefail
cd "$(dirname "$0")/.."
qxsim=${QXSIM:-build/bin/qxsim}
port=${PORT:-4841}
endpoint=opc.tcp://127.0.0.1:$port
if [ ! -x "$qxsim" ]; then
  echo "cascade-demo: no qxsim at $qxsim (build it with scripts/setup.sh, or set QXSIM)" >&2
  exit 1
fi
work=$(mktemp -d)
master_pid=
trap '[ -n "$master_pid" ] && kill "$master_pid" 2>/dev/null; rm -rf "$work"' EXIT

# 20 ms a step: 400 steps take about 8 s.
paced=(--set RunControl.SleepMs=20 --set RunControl.SpeedLevel=0 --seed 7)
LC_ALL=C "$qxsim" run --serve "$endpoint" "${paced[@]}" --steps 400 --serve-after 2 \
  --at 5:mode \
  --at 40:SingleOPNew=40 --at 40:enter --at 140:SingleOPNew=45 --at 140:enter \
  --at 240:SingleOPNew=55 --at 240:enter --at 340:SingleOPNew=35 --at 340:enter \
  --trace "$work/master.csv" 2>"$work/master.err" &
master_pid=$!
for _ in $(seq 100); do
  grep -q "serving OPC UA at" "$work/master.err" 2>/dev/null && break
  sleep 0.1
done
grep -q "serving OPC UA at" "$work/master.err" || { cat "$work/master.err" >&2; exit 1; }

echo "master at $endpoint; slave: qxsim run --master $endpoint" >&2
LC_ALL=C "$qxsim" run --master "$endpoint" "${paced[@]}" --steps 450 --trace "$work/slave.csv"
wait "$master_pid" || true
master_pid=

# The changes of one CSV column: "step value" each time the value changes.
changes() {
  awk -F, -v col="$2" 'NR > 1 && $col != last { print "  step " $1 ": " $col; last = $col }' "$1"
}
echo "master OP (column 5 of its trace):"
changes "$work/master.csv" 5
echo "slave SPNew (column 13 of its trace), following it:"
changes "$work/slave.csv" 13
