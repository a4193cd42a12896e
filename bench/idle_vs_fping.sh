#!/usr/bin/env bash
# CPU spent watching ten loopback hosts at an interval of 10 s for a minute: the console
# monitor against fping doing the same, the median of IDLE_RUNS runs each (3 by default).
# SONDREL_BIN_DIR picks the build (build/release/bin by default). Last line:
#   sondrel X cpu-s fping Y cpu-s ratio R
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bin=${SONDREL_BIN_DIR:-$top/build/release/bin}
sondrel=$bin/sondrel
[ -x "$sondrel" ] || { echo "idle_vs_fping: $sondrel is missing (make bench builds it)"; exit 1; }
command -v fping >/dev/null || { echo "idle_vs_fping: fping is not installed"; exit 1; }

hosts=()
for i in $(seq 1 10); do hosts+=("127.0.2.$i"); done
rounds=6 interval=10

# CPU seconds (user + system) of one command, from the shell's own accounting.
cpu_of() {
  local TIMEFORMAT='%U %S'
  { time "$@" >/dev/null 2>&1; } 2>&1 | awk '{ printf "%.3f", $1 + $2 }'
}
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Each run starts both side by side: they see the same background load of a shared machine
# and a run takes a minute, not two. They barely disturb each other: the monitor's socket
# filter keeps fping's replies out, and fping reads the monitor's sixty and drops them.
runs=${IDLE_RUNS:-3}
s_runs=(); f_runs=()
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for run in $(seq 1 "$runs"); do
  cpu_of "$sondrel" --console --quiet --rounds "$rounds" --interval "$interval" "${hosts[@]}" \
    >"$scratch/s" &
  cpu_of fping -q -p $((interval * 1000)) -c "$rounds" "${hosts[@]}" >"$scratch/f" &
  wait
  s_runs+=("$(cat "$scratch/s")"); f_runs+=("$(cat "$scratch/f")")
  echo "idle: run $run: sondrel ${s_runs[-1]} cpu-s, fping ${f_runs[-1]} cpu-s"
done
sondrel_cpu=$(median "${s_runs[@]}")
fping_cpu=$(median "${f_runs[@]}")
ratio=$(awk -v a="$sondrel_cpu" -v b="$fping_cpu" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
echo "sondrel ${sondrel_cpu} cpu-s fping ${fping_cpu} cpu-s ratio ${ratio}"
