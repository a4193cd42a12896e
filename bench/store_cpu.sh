#!/usr/bin/env bash
# What storing every sample costs: the console over 10,000 loopback hosts at a 1 s interval,
# once with --store and once without, same list, same rounds. Prints CPU seconds of each,
# the ratio, the file's size per stored sample, and the goal (storing adds <= 10 % CPU).
# Usage: bench/store_cpu.sh [bin-dir]   (default: build/release/bin; STORE_CPU_HOSTS and
# STORE_CPU_ROUNDS change the list and the run). Always exits 0.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-${SONDREL_BIN_DIR:-$top/build/release/bin}}
program=$bin/sondrel
hosts=${STORE_CPU_HOSTS:-10000}
rounds=${STORE_CPU_ROUNDS:-20}
for needed in "$program" /usr/bin/time; do
  [ -x "$needed" ] || { echo "store_cpu: SKIPPED: $needed is not built"; exit 0; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 "$top/bench/loopback_list.py" "$work/hosts.ipl" 1 "$hosts"

cpu() {  # $@: extra options; prints user+sys seconds, or "failed"
  if /usr/bin/time -o "$work/time" -f "%U %S %x" "$program" --console --quiet --rounds "$rounds" \
      --interval 1 "$@" "$work/hosts.ipl" >/dev/null 2>"$work/err"; then
    awk '{ printf "%.2f", $1 + $2 }' "$work/time"
  else
    echo failed
  fi
}

plain=$(cpu)
stored=$(cpu --store "$work/samples.sqlite")
if [ "$plain" = failed ] || [ "$stored" = failed ]; then
  echo "store_cpu: SKIPPED: the console could not run (ICMP permission?): $(head -n 1 "$work/err")"
  exit 0
fi
samples=$((hosts * rounds))
bytes=$(stat -c %s "$work/samples.sqlite" 2>/dev/null || echo 0)
for f in "$work"/samples.sqlite-wal; do [ -f "$f" ] && bytes=$((bytes + $(stat -c %s "$f"))); done
awk -v p="$plain" -v s="$stored" -v n="$samples" -v b="$bytes" -v h="$hosts" -v r="$rounds" 'BEGIN {
  ratio = s / (p > 0 ? p : 0.01)
  printf "store_cpu: %d hosts, %d rounds at 1 s: --no-store %.2f CPU-s, --store %.2f CPU-s, ratio %.2f (goal <= 1.10: %s); file %.1f B/sample (with the WAL)\n",
    h, r, p, s, ratio, ratio <= 1.10 ? "met" : "missed", b / n
}'
