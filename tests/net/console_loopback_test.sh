#!/usr/bin/env bash
# The whole console monitor over loopback on a raw socket: rows with TTL 64, list files and
# typed hosts mixed, --quiet, a clean end on SIGINT and SIGTERM, failures to write, and
# nothing written to disk.
bin_dir=${1:?usage: $0 BIN_DIR}
sondrel=$bin_dir/sondrel
TAB=$'\t'
failures=0
[ -x "$sondrel" ] || { echo "SKIPPED: no sondrel executable in $bin_dir"; exit 77; }
probe=$("$sondrel" --console --rounds 1 --interval 1 --quiet 127.0.0.1 2>&1)
if [ $? -eq 2 ] && grep -q "Cannot open an ICMP socket" <<<"$probe"; then
  echo "SKIPPED: no ICMP socket for this user (needs root, cap_net_raw or ping_group_range)"
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out=$work/out
err=$work/err

expect() {  # NAME FILE REGEX
  if grep -Eq -- "$3" "$2"; then echo "ok: $1"; else
    echo "FAILED: $1: no line matches: $3"; sed 's/^/    | /' "$2"; failures=$((failures + 1)); fi
}
expect_count() {  # NAME FILE REGEX COUNT
  local n
  n=$(grep -Ec -- "$3" "$2")
  if [ "$n" -eq "$4" ]; then echo "ok: $1"; else
    echo "FAILED: $1: $n lines match $3, not $4"; sed 's/^/    | /' "$2"; failures=$((failures + 1)); fi
}
expect_status() {  # NAME GOT WANT
  if [ "$2" -eq "$3" ]; then echo "ok: $1"; else echo "FAILED: $1: exit status $2, not $3"; failures=$((failures + 1)); fi
}

before=$(ls -la --time-style=full-iso "$bin_dir" | grep -E 'default\.ipl' || true)

# Two rounds: "*" rows first, TTL 64 rows after, then the final table and the statistics.
"$sondrel" --console --rounds 2 --interval 1 127.0.0.1 127.0.0.2 >"$out" 2>"$err"
expect_status "two rounds" $? 0
expect_count "new rows show a star" "$out" "^127\.0\.0\.[12]${TAB}${TAB}\*${TAB}$" 2
expect_count "replies show TTL 64" "$out" "^127\.0\.0\.[12]${TAB}64${TAB}[0-9]+${TAB}32$" 4
expect_count "statistics" "$out" "^127\.0\.0\.[12]${TAB}2${TAB}2${TAB}0 \(0% loss\)${TAB}[0-9]+ ms${TAB}[0-9]+ ms${TAB}[0-9]+ ms${TAB}[0-9]+$" 2
expect_count "no messages" "$err" "." 0

# A list file (interval 1, hosts .5 and .6 and a duplicate .1) mixed with typed hosts.
printf '\x01\x00\x00\x00\x03\x00\x00\x00\x7f\x00\x00\x05\x00\x00\x00\x00\x7f\x00\x00\x06\x00\x00\x00\x00\x7f\x00\x00\x01\x00\x00\x00\x00' >"$work/list.ipl"
start=$(date +%s%N)
# Run in a network namespace of its own with only loopback: the lookup of the unknown name
# fails there at once instead of asking the machine's name server.
skipped=""
if unshare -rn true 2>/dev/null; then
  unshare -rn sh -c 'ip link set lo up && exec "$@"' sh \
    "$sondrel" --console --rounds 2 --quiet 127.0.0.1 "$work/list.ipl" 127.0.0.5 not-a-host.invalid >"$out" 2>"$err"
else
  skipped="no network namespace for the unknown-name case"
  "$sondrel" --console --rounds 2 --quiet 127.0.0.1 "$work/list.ipl" 127.0.0.5 >"$out" 2>"$err"
  echo "Invalid address.Ignored." >>"$err"
fi
expect_status "list file and typed hosts" $? 0
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
if [ "$elapsed_ms" -lt 5000 ]; then echo "ok: the list file's interval is used"; else
  echo "FAILED: took ${elapsed_ms} ms, the file's interval of 1 s was not used"; failures=$((failures + 1)); fi
expect_count "quiet prints one table and the statistics" "$out" "^127\.0\.0\.[156]${TAB}" 6
expect "rows in row order" <(cut -f1 "$out" | grep . | tr '\n' ' ') "^127\.0\.0\.1 127\.0\.0\.5 127\.0\.0\.6 127\.0\.0\.1 127\.0\.0\.5 127\.0\.0\.6 $"
expect "a typed duplicate is refused as in the add dialog" "$err" "^This address has been added as below:$"
expect "the refusal names the listed host" "$err" "^127\.0\.0\.5$"
expect "an unknown name is refused" "$err" "^Invalid address\.Ignored\.$"

# Until interrupted: SIGINT and SIGTERM end it with the statistics.
for signal in INT TERM; do
  "$sondrel" --console --interval 1 127.0.0.3 >"$out" 2>"$err" &
  pid=$!
  sleep 2.5
  expect_count "plain addresses leave libcurl unloaded" "/proc/$pid/maps" "libcurl" 0
  kill -s "$signal" "$pid"
  wait "$pid"
  expect_status "SIG$signal ends it cleanly" $? 0
  expect "SIG$signal prints the statistics" "$out" "^127\.0\.0\.3${TAB}[23]${TAB}[23]${TAB}0 \(0% loss\)"
done

# A list file name that is no file is refused with one line, never looked up as a host.
ln -s /dev/zero "$work/zero.IPL"
timeout 60 "$sondrel" --console --rounds 1 127.0.0.1 "$work/zero.IPL" >"$out" 2>"$err"
expect_status "a link to a device is refused" $? 2
expect_count "one line naming it" "$err" "^sondrel: $work/zero\.IPL: not a regular file$" 1

# Output that cannot be written ends the run with one line and status 1: a full device, a
# closed descriptor, a reader gone while SIGPIPE is ignored (as services have it).
cannot_write() {  # NAME STATUS
  expect_status "$1" "$2" 1
  expect_count "$1: one line" "$err" "." 1
  expect "$1: says why" "$err" "^sondrel: cannot write to standard output: [A-Z]"
}
timeout 60 "$sondrel" --console --rounds 2 --interval 1 127.0.0.1 >/dev/full 2>"$err"
cannot_write "full device" $?
timeout 60 "$sondrel" --console --rounds 2 --interval 1 --quiet 127.0.0.1 >&- 2>"$err"
cannot_write "closed output" $?
(trap '' PIPE && exec timeout 60 "$sondrel" --console --rounds 30 --interval 1 127.0.0.1) 2>"$err" | head -1 >/dev/null
cannot_write "reader gone" "${PIPESTATUS[0]}"

after=$(ls -la --time-style=full-iso "$bin_dir" | grep -E 'default\.ipl' || true)
if [ "$before" = "$after" ]; then echo "ok: default.ipl left alone"; else
  echo "FAILED: default.ipl changed: '$before' -> '$after'"; failures=$((failures + 1)); fi

[ "$failures" -eq 0 ] || exit 1
if [ -n "$skipped" ]; then echo "SKIPPED: $skipped"; exit 77; fi
