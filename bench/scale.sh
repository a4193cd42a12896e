#!/usr/bin/env bash
# Many loopback hosts from list files (127.4.0.1 upwards, skipping .0 and .255): two console
# rounds of the program against a bare raw-socket loop over the same hosts (the floor) and,
# where it can address them all, fping. Per host count: CPU seconds per round, replies
# answered in the final table, replies our socket dropped, resident bytes per host. Last line:
#   scale: N hosts, sondrel X CPU-s/round, floor Y CPU-s, ratio X/Y, Z B/host, A/N replies
# Usage: bench/scale.sh [bin-dir]   (default: build/release/bin; SCALE_SIZES picks the counts)
# Always exits 0: the goals are printed beside the figures, not enforced.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-${SONDREL_BIN_DIR:-$top/build/release/bin}}
program=$bin/sondrel
floor=$bin/bench_scale_floor
sizes=${SCALE_SIZES:-10000 100000 1000000}
limit=${SCALE_TIMEOUT:-600}
for needed in "$program" "$floor" /usr/bin/time; do
  [ -x "$needed" ] || { echo "scale: SKIPPED: $needed is not built"; exit 0; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A list file: interval, count, then address and named flag (0) per host, little-endian.
write_list() {  # $1 file, $2 interval, $3 host count
  python3 "$top/bench/loopback_list.py" "$1" "$2" "$3"
}

write_hosts() {  # $1 file, $2 host count: the same addresses, one a line
  awk -v n="$2" 'BEGIN { for (i = 0; i < n; i++) { k = 1 + i + 2 * int(i / 254);
    printf "127.%d.%d.%d\n", 4 + int(k / 65536), int(k / 256) % 256, k % 256 } }' >"$1"
}

# Runs the console over a list; leaves "elapsed user sys maxrss-KiB status" in $2.figures, the
# output in $2.out and $2.err. A busy console may not stop on SIGTERM soon: SIGKILL follows
# after a grace period (status 124 or 137). In the foreground, timeout waits for the console
# even then, so its usage still reaches time; time is small, so its own pages, which count in
# the child's max RSS, stay below the console's.
run_sondrel() {  # $1 list, $2 prefix, $3 interval
  /usr/bin/time -o "$2.time" -f "%e %U %S %M %x" timeout --foreground -k 30 "$limit" \
    "$program" --console --quiet --rounds 2 --interval "$3" "$1" >"$2.out" 2>"$2.err"
  tail -n 1 "$2.time" >"$2.figures"
}

# Rows of the final table (before its blank line) whose ttl column is a number.
answered() { awk -F'\t' '/^$/ { exit } NF == 4 && $2 ~ /^[0-9]+$/ { n++ } END { print n + 0 }' "$1"; }
lost() { grep -oE '^[0-9]+ replies lost: receive buffer full' "$1" | awk '{ s += $1 } END { print s + 0 }'; }
verdict() { if [ "$1" = 1 ]; then echo met; else echo missed; fi; }

write_list "$work/one.ipl" 1 1
run_sondrel "$work/one.ipl" "$work/one" 1
read -r _ _ _ base_kib _ <"$work/one.figures"

for n in $sizes; do
  interval=1
  [ "$n" -ge 1000000 ] && interval=5
  list=$work/hosts-$n.ipl
  write_list "$list" "$interval" "$n"

  run_sondrel "$list" "$work/s$n" "$interval"
  read -r wall user sys kib status <"$work/s$n.figures"
  got=$(answered "$work/s$n.out")
  dropped=$(lost "$work/s$n.err")
  bytes=$(awk -v a="$kib" -v b="$base_kib" -v n="$n" 'BEGIN { printf "%.0f", (a - b) * 1024 / n }')
  if [ "$status" = 124 ] || [ "$status" = 137 ]; then
    per_round=timeout
  else
    per_round=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", (u + s) / 2 }')
  fi

  read -r floor_cpu floor_got < <("$floor" "$list" | awk '{ split($6, r, "/"); print $4, r[1] }')
  floor_cpu=${floor_cpu:-failed} floor_got=${floor_got:-0}

  fping_text="fping not run (more than 65535 hosts)"
  if [ "$n" -le 65535 ] && command -v fping >/dev/null; then
    write_hosts "$work/hosts-$n.txt" "$n"
    f_got=$(/usr/bin/time -o "$work/f$n.time" -f "%U %S" \
      fping -q -c1 -i 0 -t 1000 -f "$work/hosts-$n.txt" 2>&1 | grep -c 'xmt/rcv/%loss = 1/1/')
    f_cpu=$(awk '{ printf "%.2f", $1 + $2 }' "$work/f$n.time")
    fping_text="fping ${f_cpu} CPU-s ${f_got}/${n} replies"
  fi

  ratio=timeout
  [ "$per_round" != timeout ] && ratio=$(awk -v x="$per_round" -v y="$floor_cpu" \
    'BEGIN { if (y > 0) printf "%.2f", x / y; else print "n/a" }')
  total=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
  echo "scale: ${n} hosts: sondrel ${per_round} CPU-s/round (${total} CPU-s in ${wall} s wall, ${kib} KiB max RSS)," \
    "${got}/${n} replies, ${dropped} dropped by our socket, ${bytes} B/host;" \
    "floor ${floor_cpu} CPU-s ${floor_got}/${n} replies; ${fping_text}"
  echo "  goals: ratio ≤ 1.5 $(verdict "$(awk -v r="$ratio" 'BEGIN { print (r + 0 > 0 && r + 0 <= 1.5) }')")," \
    "≤ 200 B/host $(verdict "$(awk -v b="$bytes" 'BEGIN { print (b + 0 <= 200) }')")," \
    "every reply $(verdict "$([ "$got" = "$n" ] && [ "$per_round" != timeout ] && echo 1)")"
done
echo "scale: ${n} hosts, sondrel ${per_round} CPU-s/round, floor ${floor_cpu} CPU-s, ratio ${ratio}," \
  "${bytes} B/host, ${got}/${n} replies"
exit 0
