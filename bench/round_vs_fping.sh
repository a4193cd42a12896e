#!/usr/bin/env bash
# One round over N loopback hosts (127.0.x.y): the real engine and core rules against fping
# on the same hosts in the same run. Last line:
#   round: sondrel X ms a/N, fping Y ms b/N, ratio X/Y
set -uo pipefail
n=${1:-10000}
top=$(cd "$(dirname "$0")/.." && pwd)
bin=${SONDREL_BIN_DIR:-$top/build/release/bin}
helper=$bin/bench_engine_round
[ -x "$helper" ] || { echo "round_vs_fping: $helper is missing (make bench builds it)"; exit 1; }
command -v fping >/dev/null || { echo "round_vs_fping: fping is not installed"; exit 1; }

hosts=$(mktemp)
trap 'rm -f "$hosts"' EXIT
# The same addresses the helper pings: 127.0.1.1 on, skipping .0 and .255.
awk -v n="$n" 'BEGIN { for (i = 0; i < n; i++) { k = 257 + i + 2 * int(i / 254);
  printf "127.0.%d.%d\n", int(k / 256) % 256, k % 256 } }' >"$hosts"

read -r sondrel_ms sondrel_got sender_ms < <("$helper" "$n") || { echo "round_vs_fping: the engine round failed"; exit 1; }

start=$(date +%s%N)
fping_got=$(fping -q -c1 -i 0 -t 1000 -f "$hosts" 2>&1 | grep -c 'xmt/rcv/%loss = 1/1/')
fping_ms=$((($(date +%s%N) - start) / 1000000))

echo "engine round: ${sondrel_ms} ms to the last reply applied (sending took ${sender_ms} ms), ${sondrel_got} of ${n} replies"
echo "fping: ${fping_ms} ms, ${fping_got} of ${n} replies"
ratio=$(awk -v a="$sondrel_ms" -v b="$fping_ms" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
echo "round: sondrel ${sondrel_ms} ms ${sondrel_got}/${n}, fping ${fping_ms} ms ${fping_got}/${n}, ratio ${ratio}"
