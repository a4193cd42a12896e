#!/bin/bash
# sondrel --export run as a program: stdout, stderr and exit status.
set -u
bin="${1:?bin dir}"
exe="$bin/sondrel"
if [ ! -x "$exe" ]; then
    echo "SKIPPED: $exe was not built"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# check NAME EXPECTED-STATUS EXPECTED-STDOUT STDERR-PATTERN ARGS...
# An empty pattern means nothing on stderr; otherwise stderr is one line holding it.
check() {
    local name=$1 want_rc=$2 want_out=$3 err_pattern=$4
    shift 4
    "$exe" --export "$@" > "$work/out" 2> "$work/err"
    local rc=$?
    local got expected
    got=$(cat "$work/out"; echo x)
    expected=$(printf '%b' "$want_out"; echo x)
    if [ "$rc" != "$want_rc" ] || [ "$got" != "$expected" ]; then
        echo "FAIL $name: status $rc (want $want_rc), output:"; cat "$work/out"
        failures=$((failures + 1))
    fi
    if [ -z "$err_pattern" ] && [ -s "$work/err" ]; then
        echo "FAIL $name: unexpected stderr:"; cat "$work/err"
        failures=$((failures + 1))
    elif [ -n "$err_pattern" ] && { [ "$(wc -l < "$work/err")" != 1 ] ||
            ! grep -q -- "$err_pattern" "$work/err"; }; then
        echo "FAIL $name: stderr is not one line with '$err_pattern':"; cat "$work/err"
        failures=$((failures + 1))
    fi
}

# A file nothing was ever stored in.
: > "$work/empty.sqlite"
check empty-csv 0 'time,host,rtt_ms,lost,icmp_type,icmp_code,ttl\n' '' --db "$work/empty.sqlite"
check empty-minute-json 0 '[]\n' '' --db "$work/empty.sqlite" --resolution minute \
    --format json --since -30d
check bad-argument 1 '' '^sondrel --export: --format takes csv or json$' \
    --db "$work/empty.sqlite" --format xml
check unknown-argument 1 '' '^sondrel --export: unknown argument --verbose$' --verbose
check missing-db 2 '' "^sondrel --export: cannot read $work/none.sqlite: " \
    --db "$work/none.sqlite"

[ "$failures" = 0 ] && echo "export tool: all cases pass"
exit $((failures > 0))
