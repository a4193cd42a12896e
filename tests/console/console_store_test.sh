#!/usr/bin/env bash
# The console storing its samples over loopback, read back by sondrel --export, and a second
# console refused the file while the first holds it.
bin_dir=${1:?usage: $0 BIN_DIR}
sondrel=$bin_dir/sondrel
failures=0
[ -x "$sondrel" ] || { echo "SKIPPED: no sondrel executable in $bin_dir"; exit 77; }
probe=$("$sondrel" --console --rounds 1 --interval 1 --quiet 127.0.0.1 2>&1)
if [ $? -eq 2 ] && grep -q "Cannot open an ICMP socket" <<<"$probe"; then
  echo "SKIPPED: no ICMP socket for this user (needs root, cap_net_raw or ping_group_range)"
  exit 77
fi

work=$(mktemp -d)
holder=
trap '[ -n "$holder" ] && kill "$holder" 2>/dev/null; rm -rf "$work"' EXIT
db=$work/samples.sqlite
out=$work/out
err=$work/err

fail() { echo "FAILED: $1"; [ -n "${2:-}" ] && sed 's/^/    | /' "$2"; failures=$((failures + 1)); }
expect_status() {  # NAME GOT WANT
  if [ "$2" -eq "$3" ]; then echo "ok: $1"; else fail "$1: exit status $2, not $3"; fi
}
expect_count() {  # NAME FILE REGEX COUNT
  local n
  n=$(grep -Ec -- "$3" "$2")
  if [ "$n" -eq "$4" ]; then echo "ok: $1"; else fail "$1: $n lines match $3, not $4" "$2"; fi
}
expect_line1() {  # NAME FILE TEXT
  if [ "$(head -1 "$2")" = "$3" ]; then echo "ok: $1"; else fail "$1: first line is not $3" "$2"; fi
}

"$sondrel" --console --quiet --rounds 3 --interval 1 --store "$db" 127.0.0.1 127.0.0.2 >"$out" 2>"$err"
expect_status "three rounds stored" $? 0
expect_count "nothing said about the store" "$err" "." 0

time_re='[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}Z'
"$sondrel" --export --db "$db" --since -1h >"$out" 2>"$err"
expect_status "raw export" $? 0
expect_line1 "raw header" "$out" "time,host,rtt_ms,lost,icmp_type,icmp_code,ttl"
for host in 127.0.0.1 127.0.0.2; do
  expect_count "a reply row of $host per round" "$out" "^$time_re,${host//./\\.},[0-9]+\.[0-9]{3},0,0,0,64$" 3
done
expect_count "nothing else" "$out" "." 7

# The minute the run ended in is summarised only once a later round starts: either no rows, or
# rows for the minutes the run had finished.
"$sondrel" --export --db "$db" --since -1h --resolution minute >"$out" 2>"$err"
expect_status "minute export" $? 0
expect_line1 "minute header" "$out" "time,host,sent,lost,min_ms,median_ms,max_ms,mean_ms"
rows=$(($(grep -c . "$out") - 1))
expect_count "only whole minutes with nothing lost" "$out" \
  "^[0-9-]{10}T[0-9]{2}:[0-9]{2}:00\.000Z,127\.0\.0\.[12],[12],0(,[0-9]+\.[0-9]{3}){4}$" "$rows"

# One console holds the file until told to stop: its first table shows that it has started,
# and so taken the file, before the second one starts.
mkfifo "$work/tables"
"$sondrel" --console --interval 1 --store "$db" 127.0.0.1 >"$work/tables" 2>"$work/holder-err" &
holder=$!
exec 3<"$work/tables"
read -r -t 60 _ <&3 || fail "the first console printed no table"
timeout 60 "$sondrel" --console --quiet --rounds 1 --interval 1 --store "$db" 127.0.0.3 >"$out" 2>"$err"
expect_status "the second console still runs" $? 0
expect_count "it is told the file is in use" "$err" \
  "^sample history: ${db//./\\.} is in use by another sondrel; samples are not stored$" 1
expect_count "and nothing else" "$err" "." 1
kill -TERM "$holder"
cat <&3 >/dev/null
wait "$holder"
expect_status "the first console ends cleanly" $? 0
holder=
expect_count "and was told nothing" "$work/holder-err" "." 0
"$sondrel" --export --db "$db" --since -1h --host 127.0.0.3 >"$out" 2>&1
expect_count "the second console stored nothing" "$out" "." 1

[ "$failures" -eq 0 ] || exit 1
echo "console store: all cases pass"
