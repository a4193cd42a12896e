#!/usr/bin/env bash
# sondrel --locate against a handmade address.dat and the one the build makes.
set -u
bin=${1:?bin dir}
sondrel="$bin/sondrel"
if [ ! -x "$sondrel" ]; then
    echo "SKIPPED: $sondrel was not built"
    exit 77
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0

record() {  # start end location detail: one 110-byte record
    printf '%-15s %-15s      %-12s %-46s%-13s\n' "$1" "$2" "$3" "$4" ""
}
{
    printf '%-193s\n' "handmade test database"
    record 10.0.0.0 10.255.255.255 "Ten Net" "Parent range"
    record 10.1.0.0 10.1.0.255 Child "Child range"
    record 20.0.0.0 20.0.0.9 Twenty "Small one"
} >"$tmp/address.dat"

check() {  # expected output, then the arguments
    local expected=$1
    shift
    local got
    got=$("$sondrel" --locate "$@")
    local rc=$?
    if [ "$got" != "$expected" ] || [ $rc -ne 0 ]; then
        echo "FAIL: --locate $*"
        echo "  expected: $(printf '%q' "$expected")"
        echo "  got ($rc): $(printf '%q' "$got")"
        fail=1
    fi
}

check $'10.0.0.1\tTenNet\tParentrange\n10.1.0.255\tChild\tChildrange\n20.0.0.9\tTwenty\tSmallone\n20.0.0.10\tno data for this addr\nnonsense\tno data for this addr' \
    --db "$tmp/address.dat" 10.0.0.1 10.1.0.255 20.0.0.9 20.0.0.10 nonsense
check $'1.2.3.4\tno data for this addr' --db "$tmp/missing.dat" 1.2.3.4

for args in "" "--db" "--db $tmp/address.dat"; do
    # shellcheck disable=SC2086
    "$sondrel" --locate $args >/dev/null 2>&1
    rc=$?
    if [ $rc -ne 2 ]; then
        echo "FAIL: --locate $args gave $rc, expected 2"
        fail=1
    fi
done

if [ -f "$bin/address.dat" ]; then
    check $'127.0.0.1\tLoopback\tLoopback' 127.0.0.1
else
    echo "note: no address.dat beside the executable; the built database is not checked here"
fi
exit $fail
