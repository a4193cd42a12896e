#!/bin/bash
# sondrel --dump on crafted list files: stdout, stderr and exit status.
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

# check NAME HEX EXPECTED-STDOUT EXPECTED-STATUS [STDERR-PATTERN]
check() {
    local name=$1 hex=$2 want=$3 want_rc=$4 err_pattern=${5:-}
    local file="$work/$name.ipl"
    printf '%b' "$hex" > "$file"
    local got rc
    got=$("$exe" --dump "$file" 2> "$work/err"; echo "rc=$?")
    rc=${got##*rc=}
    got=${got%rc=*}
    local expected
    expected=$(printf '%b' "$want"; echo x)
    expected=${expected%x}
    if [ "$got" != "$expected" ] || [ "$rc" != "$want_rc" ]; then
        echo "FAIL $name: status $rc (want $want_rc), output:"
        printf '%s' "$got" | od -c | head -20
        failures=$((failures + 1))
    fi
    if [ -n "$err_pattern" ] && ! grep -q -- "$err_pattern" "$work/err"; then
        echo "FAIL $name: stderr lacks '$err_pattern':"; cat "$work/err"
        failures=$((failures + 1))
    fi
    if [ "$want_rc" = 0 ] && [ -s "$work/err" ]; then
        echo "FAIL $name: unexpected stderr:"; cat "$work/err"
        failures=$((failures + 1))
    fi
}

name20=www.example-host.org
name300=$(printf 'n%.0s' $(seq 300))

check empty-list '\x03\x00\x00\x00\x00\x00\x00\x00' '3\t0\n' 0
check one-host '\x03\x00\x00\x00\x01\x00\x00\x00\x0a\x00\x00\x01\x00\x00\x00\x00' '3\t1\n10.0.0.1\t0\t\n' 0
check named-20 "\\x10\\x27\\x00\\x00\\x01\\x00\\x00\\x00\\x01\\x02\\x03\\x04\\x01\\x00\\x00\\x00\\x14$name20" \
    "10000\\t1\\n1.2.3.4\\t1\\t$name20\\n" 0
check named-300 "\\x01\\x00\\x00\\x00\\x01\\x00\\x00\\x00\\x01\\x02\\x03\\x04\\x01\\x00\\x00\\x00\\xff\\x2c\\x01$name300" \
    "1\\t1\\n1.2.3.4\\t1\\t$name300\\n" 0
check utf16 '\x05\x00\x00\x00\x01\x00\x00\x00\xc0\x00\x02\xff\x09\x00\x00\x00\xff\xfe\xff\x02\xe9\x00\x41\x00' \
    '5\t1\n192.0.2.255\t1\t\xc3\xa9A\n' 0
check negative-count '\xff\xff\xff\xff\xfe\xff\xff\xff\x0a\x00\x00\x01\x00\x00\x00\x00' '4294967295\t-2\n' 0
check cut-record '\x03\x00\x00\x00\x02\x00\x00\x00\x0a\x00\x00\x01\x00\x00\x00\x00\x0a\x00' \
    '3\t2\n10.0.0.1\t0\t\n' 1 'cut-record.ipl: ends inside record 2 of 2'
check cut-name '\x03\x00\x00\x00\x01\x00\x00\x00\x0a\x00\x00\x01\x01\x00\x00\x00\x09abc' '3\t1\n' 1 \
    'longer than the rest of the file'
check cut-count '\x03\x00\x00\x00\x01\x00' '' 1 'ends before the record count'

"$exe" --dump "$work/no-such.ipl" > "$work/out" 2> "$work/err"
rc=$?
if [ "$rc" != 1 ] || [ -s "$work/out" ] || ! grep -q "no-such.ipl" "$work/err"; then
    echo "FAIL missing file: status $rc"; cat "$work/err"
    failures=$((failures + 1))
fi
"$exe" --dump > /dev/null 2>&1
if [ $? != 2 ]; then
    echo "FAIL usage: no file should be a usage error"
    failures=$((failures + 1))
fi

[ "$failures" = 0 ] && echo "dump tool: all cases pass"
exit $((failures > 0))
