#!/usr/bin/env bash
# CPU time of the window under Xvfb over 30 s: with 100 loopback hosts pinged every second,
# and with an empty list. An idle hook or receiver that spins shows up here as seconds.
# Usage: bench/gui_idle.sh [bin-dir]   (default: build/release/bin)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$here/build/release/bin}
program=$bin/sondrel
seconds=${GUI_IDLE_SECONDS:-30}
if [ ! -x "$program" ]; then echo "gui_idle: SKIPPED: $program is not built"; exit 0; fi
if ! command -v xvfb-run >/dev/null; then echo "gui_idle: SKIPPED: xvfb-run is not installed"; exit 0; fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A list file: interval, count, then address and named flag per host (little-endian).
write_list() {  # $1 file, $2 interval, $3 host count
    python3 - "$1" "$2" "$3" <<'PY'
import struct, sys
path, interval, count = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
data = struct.pack('<Ii', interval, count)
for i in range(count):
    data += bytes((127, 0, 1 + i // 250, 1 + i % 250)) + struct.pack('<I', 0)
open(path, 'wb').write(data)
PY
}

clk=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

run_case() {  # $1 label, $2 host count
    local dir=$work/$1
    mkdir -p "$dir"
    write_list "$dir/default.ipl" 1 "$2"
    cat > "$dir/run.sh" <<RUN
#!/usr/bin/env bash
SONDREL_CONFIG_DIR=$dir SONDREL_INSTANCE_NAME=sondrel-bench-\$\$ "$program" > "$dir/log" 2>&1 &
pid=\$!
sleep 5                      # start-up is not counted
start=\$(awk '{print \$14 + \$15}' /proc/\$pid/stat)
sleep $seconds
end=\$(awk '{print \$14 + \$15}' /proc/\$pid/stat)
kill -TERM \$pid
wait \$pid || true
echo \$((end - start)) > "$dir/ticks"
RUN
    chmod +x "$dir/run.sh"
    xvfb-run -a -s "-screen 0 1024x768x24" "$dir/run.sh"
    local ticks
    ticks=$(cat "$dir/ticks")
    awk -v t="$ticks" -v c="$clk" -v l="$1" -v n="$2" -v s="$seconds" \
        'BEGIN { printf "gui_idle: %s (%d hosts, 1 s interval): %.2f CPU seconds in %d s\n", l, n, t / c, s }'
}

run_case pinging 100
run_case empty 0
