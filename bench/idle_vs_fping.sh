#!/usr/bin/env bash
# CPU spent watching 100 loopback hosts for 20 rounds at an interval of 1 s: the console
# monitor against fping doing the same. Last line:
#   idle: sondrel X s CPU, fping Y s CPU, ratio X/Y
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bin=${SONDREL_BIN_DIR:-$top/build/release/bin}
sondrel=$bin/sondrel
[ -x "$sondrel" ] || { echo "idle_vs_fping: $sondrel is missing (make bench builds it)"; exit 1; }
command -v fping >/dev/null || { echo "idle_vs_fping: fping is not installed"; exit 1; }

hosts=()
for i in $(seq 1 100); do hosts+=("127.0.2.$i"); done

TIMEFORMAT='%U %S'
sondrel_cpu=$( { time "$sondrel" --console --quiet --rounds 20 --interval 1 "${hosts[@]}" >/dev/null 2>&1; } 2>&1 |
  awk '{ printf "%.3f", $1 + $2 }')
fping_cpu=$( { time fping -q -p 1000 -c 20 "${hosts[@]}" >/dev/null 2>&1; } 2>&1 | awk '{ printf "%.3f", $1 + $2 }')

ratio=$(awk -v a="$sondrel_cpu" -v b="$fping_cpu" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
echo "idle: sondrel ${sondrel_cpu} s CPU, fping ${fping_cpu} s CPU, ratio ${ratio}"
