#!/usr/bin/env bash
# CPU spent watching 100 loopback hosts for 20 rounds at an interval of 1 s: the console
# monitor against fping doing the same, the median of three runs each. Last line:
#   idle: sondrel X s CPU, fping Y s CPU, ratio X/Y
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bin=${SONDREL_BIN_DIR:-$top/build/release/bin}
sondrel=$bin/sondrel
[ -x "$sondrel" ] || { echo "idle_vs_fping: $sondrel is missing (make bench builds it)"; exit 1; }
command -v fping >/dev/null || { echo "idle_vs_fping: fping is not installed"; exit 1; }

hosts=()
for i in $(seq 1 100); do hosts+=("127.0.2.$i"); done

# CPU seconds (user + system) of one command, from the shell's own accounting.
cpu_of() {
  local TIMEFORMAT='%U %S'
  { time "$@" >/dev/null 2>&1; } 2>&1 | awk '{ printf "%.3f", $1 + $2 }'
}
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# fping's own cost moves a lot from run to run on a shared machine: take the median of a few
# runs of each, interleaved so that both see the same background load.
runs=${IDLE_RUNS:-3}
s_runs=(); f_runs=()
for _ in $(seq 1 "$runs"); do
  s_runs+=("$(cpu_of "$sondrel" --console --quiet --rounds 20 --interval 1 "${hosts[@]}")")
  f_runs+=("$(cpu_of fping -q -p 1000 -c 20 "${hosts[@]}")")
done
sondrel_cpu=$(median "${s_runs[@]}")
fping_cpu=$(median "${f_runs[@]}")
echo "idle: runs sondrel ${s_runs[*]} s, fping ${f_runs[*]} s"

ratio=$(awk -v a="$sondrel_cpu" -v b="$fping_cpu" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
echo "idle: sondrel ${sondrel_cpu} s CPU, fping ${fping_cpu} s CPU, ratio ${ratio}"
