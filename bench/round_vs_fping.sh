#!/usr/bin/env bash
# One round over N loopback hosts (127.0.x.y): the real engine and core rules against fping
# on the same hosts in the same run, the median of three runs each. Last line:
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

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Both sides vary with the machine's load: the median of a few interleaved runs of each.
runs=${ROUND_RUNS:-3}
s_ms=(); s_got=(); s_send=(); f_ms=(); f_got=()
for _ in $(seq 1 "$runs"); do
  read -r ms got send < <("$helper" "$n") || { echo "round_vs_fping: the engine round failed"; exit 1; }
  s_ms+=("$ms"); s_got+=("$got"); s_send+=("$send")
  start=$(date +%s%N)
  f_got+=("$(fping -q -c1 -i 0 -t 1000 -f "$hosts" 2>&1 | grep -c 'xmt/rcv/%loss = 1/1/')")
  f_ms+=("$((($(date +%s%N) - start) / 1000000))")
done
echo "runs: sondrel ${s_ms[*]} ms, fping ${f_ms[*]} ms"
sondrel_ms=$(median "${s_ms[@]}"); sender_ms=$(median "${s_send[@]}"); fping_ms=$(median "${f_ms[@]}")
# Replies: the worst run counts, so a lost reply anywhere shows.
sondrel_got=$(printf '%s\n' "${s_got[@]}" | sort -g | head -n1)
fping_got=$(printf '%s\n' "${f_got[@]}" | sort -g | head -n1)

echo "engine round: ${sondrel_ms} ms to the last reply applied (sending took ${sender_ms} ms), ${sondrel_got} of ${n} replies"
echo "fping: ${fping_ms} ms, ${fping_got} of ${n} replies"
ratio=$(awk -v a="$sondrel_ms" -v b="$fping_ms" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
echo "round: sondrel ${sondrel_ms} ms ${sondrel_got}/${n}, fping ${fping_ms} ms ${fping_got}/${n}, ratio ${ratio}"
